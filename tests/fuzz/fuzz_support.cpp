// Program folder and input files for the fuzz targets.
// SPDX-License-Identifier: MIT
#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/game_paths.h"
#include "base/game_state.h"

namespace fuzzsupport {

namespace {

std::string folder;

void RemoveFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

}  // namespace

const std::string& GameFolder() {
    if (!folder.empty()) return folder;
    std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/quillrun-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    folder = pattern;
    for (const char* sub : {"/Maps", "/Pictures", "/Replays"}) std::filesystem::create_directory(folder + sub);
    std::atexit(RemoveFolder);
    SetGameFolders({folder, folder});
    return folder;
}

void WriteInput(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) {
        std::perror(path.c_str());
        std::abort();
    }
}

}  // namespace fuzzsupport
