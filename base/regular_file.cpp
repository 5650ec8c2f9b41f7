// Bounded reading of regular files: opened without blocking, checked with
// fstat, then read.
// SPDX-License-Identifier: MIT
#include "base/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeFolders(const std::string& path, unsigned mode) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), static_cast<mode_t>(mode));
    return (::mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0 || errno == EEXIST) && IsFolder(path);
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

namespace {

// The descriptor of a regular file of at most maxBytes, or -1 with the
// reason. O_NONBLOCK keeps opening a named pipe from waiting for a writer.
int OpenChecked(const std::string& path, size_t maxBytes, FileRead* why, off_t* size) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *why = (errno == ENOENT || errno == ENOTDIR) ? FileRead::kMissing : FileRead::kRefused;
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<unsigned long long>(st.st_size) > maxBytes) {
        ::close(fd);
        *why = FileRead::kRefused;
        return -1;
    }
    // Reads of a regular file never wait anyway; plain blocking reads are simpler.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    *size = st.st_size;
    *why = FileRead::kOk;
    return fd;
}

template <typename Bytes>
FileRead ReadInto(const std::string& path, size_t maxBytes, Bytes& out) {
    out.clear();
    FileRead why = FileRead::kRefused;
    off_t size = 0;
    const int fd = OpenChecked(path, maxBytes, &why, &size);
    if (fd < 0) return why;
    // The file may grow or shrink while it is read; the limit holds anyway.
    out.resize(static_cast<size_t>(size) + 1);
    size_t got = 0;
    for (;;) {
        if (got == out.size()) {
            if (out.size() > maxBytes) break;
            out.resize(out.size() * 2 > maxBytes + 1 ? maxBytes + 1 : out.size() * 2);
        }
        const ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = FileRead::kRefused;
            break;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (why == FileRead::kOk && got > maxBytes) why = FileRead::kRefused;
    out.resize(why == FileRead::kOk ? got : 0);
    return why;
}

}  // namespace

FileRead ReadRegularFile(const std::string& path, size_t maxBytes, std::string& out) {
    return ReadInto(path, maxBytes, out);
}

FileRead ReadRegularFile(const std::string& path, size_t maxBytes, std::vector<unsigned char>& out) {
    return ReadInto(path, maxBytes, out);
}

std::FILE* OpenRegularFile(const std::string& path, size_t maxBytes) {
    FileRead why = FileRead::kRefused;
    off_t size = 0;
    const int fd = OpenChecked(path, maxBytes, &why, &size);
    if (fd < 0) return nullptr;
    std::FILE* f = ::fdopen(fd, "rb");
    if (f == nullptr) ::close(fd);
    return f;
}
