// Program folder and input files for the fuzz targets.
#include "fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

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
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    size_t done = 0;
    while (ok && done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    if (fd >= 0 && ::close(fd) != 0) ok = false;
    if (!ok) {
        std::perror(path.c_str());
        std::abort();
    }
}

}  // namespace fuzzsupport
