// Creating, updating and, when it cannot be written, standing in for the
// player's folder of records.
#include "shell/user_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/codepage.h"
#include "base/game_paths.h"
#include "maps/settings_file.h"
#include "platform/platform.h"

namespace {

std::string scratchFolder;  // the session's stand-in, removed at exit

bool ReadAll(const std::string& path, std::string* out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    out->clear();
    char buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

// Writes `content` beside `path` and renames it over it: the file is always
// the old or the new one.
bool ReplaceWhole(const std::string& path, const std::string& content) {
    const std::string temp = path + ".new" + std::to_string(::getpid());
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
    ok = std::fflush(f) == 0 && ok;
    ok = ::fsync(::fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

bool MakeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    return false;
}

// Creates the folder and the ones above it.
bool MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        if (!MakeFolder(path.substr(0, slash))) {
            struct stat st {};
            if (::stat(path.substr(0, slash).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
        }
    }
    return MakeFolder(path);
}

// True when a file can be created in the folder (a test by doing, so that a
// read-only file system or a folder owned by another user is seen as such).
bool CanWriteIn(const std::string& folder) {
    const std::string probe = folder + "/.quillrun-probe" + std::to_string(::getpid());
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

void RemoveTree(const std::string& path) {
    if (DIR* dir = ::opendir(path.c_str())) {
        while (dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            const std::string child = path + "/" + name;
            struct stat st {};
            if (::lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) RemoveTree(child);
            else ::unlink(child.c_str());
        }
        ::closedir(dir);
    }
    ::rmdir(path.c_str());
}

void RemoveScratchFolder() {
    if (!scratchFolder.empty()) RemoveTree(scratchFolder);
}

// The session's stand-in for an unwritable folder: the player's catalogue
// (or the shipped one) and replays copied into a fresh folder under /tmp.
void UseScratchFolder(const std::string& userIni, const std::string& userReplays) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/quillrun-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return;
    scratchFolder = pattern;
    std::atexit(RemoveScratchFolder);
    const GameFolders old = CurrentGameFolders();
    SetGameFolders({old.data, scratchFolder});
    MakeFolder(ReplayFolder());
    std::string text;
    if (ReadAll(userIni, &text) || ReadAll(ShippedMapsIniPath(), &text)) ReplaceWhole(MapsIniPath(), text);
    if (DIR* dir = ::opendir(userReplays.c_str())) {
        while (dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name.size() < 7 || name.compare(name.size() - 7, 7, ".replay") != 0) continue;
            if (ReadAll(userReplays + "/" + name, &text)) ReplaceWhole(ReplayFolder() + "/" + name, text);
        }
        ::closedir(dir);
    }
}

}  // namespace

bool MergeShippedMaps(const std::string& shippedIni, const std::string& userIni) {
    // The additions are made on a copy that then replaces the file whole.
    std::string text;
    if (!ReadAll(userIni, &text)) return false;
    const std::string work = userIni + ".merge" + std::to_string(::getpid());
    bool changed = false;
    for (int k = 1; k <= 50; ++k) {
        char section[4];
        std::snprintf(section, sizeof section, "%02d", k);
        const std::string file = ReadIniValue(section, "File", shippedIni);
        if (file.empty() || !ReadIniValue(section, "File", userIni).empty()) continue;
        if (!changed && !ReplaceWhole(work, text)) return false;
        changed = true;
        for (const char* key : {"File", "Width", "Name"})
            WriteIniValue(section, key, ReadIniValue(section, key, shippedIni), work);
    }
    if (!changed) return true;
    std::string merged;
    const bool ok = ReadAll(work, &merged) && ReplaceWhole(userIni, merged);
    ::unlink(work.c_str());
    return ok;
}

void PrepareUserFolder() {
    if (PortableLayout()) return;
    const std::string user = CurrentGameFolders().user;
    const std::string ini = MapsIniPath();
    const std::string replays = ReplayFolder();
    bool ok = MakeFolders(user) && MakeFolder(replays) && CanWriteIn(user) && CanWriteIn(replays);
    if (ok) {
        struct stat st {};
        if (::stat(ini.c_str(), &st) != 0) {
            std::string shipped;
            // No shipped catalogue: the game starts with an empty list, as a
            // portable folder without one does.
            if (ReadAll(ShippedMapsIniPath(), &shipped)) ok = ReplaceWhole(ini, shipped);
        } else {
            ok = MergeShippedMaps(ShippedMapsIniPath(), ini);
        }
    }
    if (ok) return;
    PlatformMessageBox("Cannot write to the folder " + Utf8ToCp1252(user) +
                           " - records and replays of this session will not be kept.",
                       "Quillrun");
    UseScratchFolder(ini, replays);
}
