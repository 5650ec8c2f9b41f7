// Creating, updating and, when it cannot be written, standing in for the
// player's folder of records.
// SPDX-License-Identifier: MIT
#include "shell/user_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "base/atomic_file.h"
#include "base/codepage.h"
#include "base/game_paths.h"
#include "base/game_state.h"
#include "base/regular_file.h"
#include "maps/map_catalogue.h"
#include "maps/settings_file.h"
#include "platform/platform.h"
#include "replay/replay_file.h"
#include "shell/catalogue_repair.h"

namespace {

std::string scratchFolder;  // the session's stand-in, removed at exit

bool ReadCatalogue(const std::string& path, std::string* out) {
    return ReadRegularFile(path, kMaxIniBytes, *out) == FileRead::kOk;
}

bool MakeFolder(const std::string& path) { return MakeFolders(path, 0755); }

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
    if (ReadCatalogue(userIni, &text) || ReadCatalogue(ShippedMapsIniPath(), &text))
        ReplaceFileAtomically(MapsIniPath(), text);
    if (DIR* dir = ::opendir(userReplays.c_str())) {
        while (dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name.size() < 7 || name.compare(name.size() - 7, 7, ".replay") != 0) continue;
            if (ReadRegularFile(userReplays + "/" + name, kMaxReplayBytes, text) == FileRead::kOk)
                ReplaceFileAtomically(ReplayFolder() + "/" + name, text);
        }
        ::closedir(dir);
    }
}

}  // namespace

bool MergeShippedMaps(const std::string& shippedIni, const std::string& userIni) {
    // The additions are made to the text in memory, which then replaces the
    // file in one step.
    std::string text;
    // A catalogue that cannot be read is left as it is; loading it tells the
    // player.
    if (!ReadCatalogue(userIni, &text)) return true;
    IniDocument shipped, user;
    LoadIniDocument(shippedIni, shipped);
    LoadIniDocument(userIni, user);
    // A damaged catalogue the repair could not mend is not written over.
    if (!CatalogueWhole(user)) return true;
    bool changed = false;
    for (int k = 1; k <= kMapCount; ++k) {
        const std::string section = TwoDigits(k);
        if (IniValue(shipped, section, "File").empty() || !IniValue(user, section, "File").empty()) continue;
        for (const char* key : {"File", "Width", "Name"})
            changed = SetIniValue(text, section, key, IniValue(shipped, section, key)) || changed;
    }
    return !changed || ReplaceCatalogue(userIni, text);
}

void PrepareUserFolder() {
    if (PortableLayout()) {
        RepairMapsIni();
        return;
    }
    const std::string user = CurrentGameFolders().user;
    const std::string ini = MapsIniPath();
    const std::string replays = ReplayFolder();
    bool ok = MakeFolder(user) && MakeFolder(replays) && CanWriteIn(user) && CanWriteIn(replays);
    if (ok) {
        RepairMapsIni();
        struct stat st {};
        if (::stat(ini.c_str(), &st) != 0) {
            std::string shipped;
            // No shipped catalogue: the game starts with an empty list, as a
            // portable folder without one does.
            if (ReadCatalogue(ShippedMapsIniPath(), &shipped)) ok = ReplaceCatalogue(ini, shipped);
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
