// The folder choice between the portable and the installed layout, and the
// paths of every file the game reads or writes.
// SPDX-License-Identifier: MIT
#include "base/game_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "base/regular_file.h"

#ifndef QUILLRUN_RELATIVE_DATA_DIR
#define QUILLRUN_RELATIVE_DATA_DIR "../share/quillrun"
#endif

const char kRelativeDataDir[] = QUILLRUN_RELATIVE_DATA_DIR;

namespace {

GameFolders folders{".", "."};

std::string WithoutTrailingSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder.empty() ? std::string(".") : folder;
}

}  // namespace

std::string ExecutableFolder() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    const std::string file(path, static_cast<size_t>(n));
    const size_t slash = file.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return file.substr(0, slash);
}

std::string PerUserFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') return WithoutTrailingSlash(xdg) + "/quillrun";
    std::string home;
    if (const char* h = std::getenv("HOME"); h != nullptr && h[0] != '\0') {
        home = h;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
        home = pw->pw_dir;
    } else {
        home = "/tmp";
    }
    return WithoutTrailingSlash(home) + "/.local/share/quillrun";
}

GameFolders ChooseGameFolders(const std::string& programFolder, const std::string& relativeDataDir,
                              const std::string& dataDir, const std::string& userDir) {
    const std::string program = WithoutTrailingSlash(programFolder);
    const std::string installedData = WithoutTrailingSlash(program + "/" + relativeDataDir);
    const std::string besideIni = program + "/Maps/Maps.ini";
    const bool portable = (IsFile(besideIni) && ::access(besideIni.c_str(), W_OK) == 0) ||
                          !IsFolder(installedData);
    GameFolders chosen;
    if (!dataDir.empty()) chosen.data = WithoutTrailingSlash(dataDir);
    else chosen.data = portable ? program : installedData;
    if (!userDir.empty()) chosen.user = WithoutTrailingSlash(userDir);
    else if (portable && dataDir.empty()) chosen.user = program;
    else chosen.user = PerUserFolder();
    return chosen;
}

void SetGameFolders(const GameFolders& chosen) {
    folders.data = WithoutTrailingSlash(chosen.data);
    folders.user = WithoutTrailingSlash(chosen.user);
}

const GameFolders& CurrentGameFolders() { return folders; }



bool PortableLayout() { return folders.data == folders.user; }

std::string MapsIniPath() { return folders.user + (PortableLayout() ? "/Maps/Maps.ini" : "/Maps.ini"); }

std::string ShippedMapsIniPath() { return folders.data + "/Maps/Maps.ini"; }

std::string ReplayFolder() { return folders.user + "/Replays"; }

std::string MapFolderFor(const std::string& file) {
    if (!PortableLayout() && !file.empty() && IsFile(folders.user + "/Maps/" + file)) return folders.user + "/Maps";
    return folders.data + "/Maps";
}

std::string PicturesFolder() { return folders.data + "/Pictures"; }

std::string ScreenshotFolder() { return folders.user + "/Screenshots"; }

std::string PreferencesPath() { return folders.user + "/Preferences.ini"; }

std::string SoundsFolder() { return folders.data + "/Sounds"; }
