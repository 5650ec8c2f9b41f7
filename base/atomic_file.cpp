// The one whole-file replacement of the program (Maps.ini, replay files,
// PNG shots) and the folder lock that keeps related replacements together.
// SPDX-License-Identifier: MIT
#include "base/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>

namespace {

void (*fileStepHook)() = nullptr;

bool HasWriteBit(const struct stat& st) { return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0; }

bool FolderWritable(const std::string& folder) {
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && HasWriteBit(st) &&
           ::access(folder.c_str(), W_OK) == 0;
}

// Six characters for a temporary name. Not the game's random stream: that
// one is part of the deterministic flight.
std::string RandomTag() {
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[6] = {};
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        static uint64_t counter = 0;
        struct timespec ts {};
        ::clock_gettime(CLOCK_REALTIME, &ts);
        uint64_t x = (static_cast<uint64_t>(ts.tv_nsec) << 20) ^ static_cast<uint64_t>(::getpid()) ^ (++counter << 40);
        for (unsigned char& b : bytes) {
            x = x * 6364136223846793005ULL + 1442695040888963407ULL;
            b = static_cast<unsigned char>(x >> 56);
        }
    }
    std::string tag(6, 'x');
    for (int i = 0; i < 6; ++i) tag[i] = kChars[bytes[i] % 62];
    return tag;
}

bool WriteAll(int fd, std::string_view content) {
    size_t done = 0;
    while (done < content.size()) {
        FileStep();
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool IsTagChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

}  // namespace

void FileStep() {
    if (fileStepHook != nullptr) fileStepHook();
}

void SetFileStepHook(void (*hook)()) { fileStepHook = hook; }

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    FileStep();
    if (::fsync(fd) != 0) {}  // the rename is done; only its durability is in doubt
    ::close(fd);
}

bool RemoveFile(const std::string& path) {
    FileStep();
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

std::string StageFileBeside(const std::string& target, std::string_view content, std::string_view suffix) {
    const std::string folder = FolderOf(target);
    const std::string name = NameOf(target);
    if (name.empty() || !FolderWritable(folder)) return {};
    struct stat old {};
    const bool exists = ::lstat(target.c_str(), &old) == 0;
    if (exists && (!S_ISREG(old.st_mode) || !HasWriteBit(old) || ::access(target.c_str(), W_OK) != 0)) return {};

    std::string staged;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        staged = folder + "/." + name + "." + RandomTag();
        staged.append(suffix);
        FileStep();
        fd = ::open(staged.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return {};
    }
    if (fd < 0) return {};
    bool ok = true;
    if (exists) {
        // The old file's permissions and, where allowed, its owner.
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {}
    }
    ok = ok && WriteAll(fd, content);
    if (ok) FileStep();
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        RemoveFile(staged);
        return {};
    }
    return staged;
}

bool CommitStagedFile(const std::string& staged, const std::string& target) {
    FileStep();
    if (::rename(staged.c_str(), target.c_str()) != 0) {
        RemoveFile(staged);
        return false;
    }
    SyncFolder(FolderOf(target));
    return true;
}

bool ReplaceFileAtomically(const std::string& target, std::string_view content) {
    return ReplaceFileAtomically(target, content, nullptr);
}

bool ReplaceFileAtomically(const std::string& target, std::string_view content, const std::function<void()>& staged) {
    std::string real = target;
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(target.c_str(), resolved) == nullptr) return false;  // a dangling link
        real = resolved;
    }
    const std::string stagedPath = StageFileBeside(real, content);
    if (stagedPath.empty()) return false;
    if (staged) staged();
    return CommitStagedFile(stagedPath, real);
}

bool IsTemporaryOf(std::string_view entry, std::string_view targetName) {
    // "." + name + "." + six tag characters + ".tmp"
    if (entry.size() != targetName.size() + 12 || entry[0] != '.') return false;
    if (entry.substr(1, targetName.size()) != targetName) return false;
    std::string_view rest = entry.substr(1 + targetName.size());
    if (rest[0] != '.' || rest.substr(7) != ".tmp") return false;
    for (size_t i = 1; i <= 6; ++i) {
        if (!IsTagChar(rest[i])) return false;
    }
    return true;
}

int LockFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {}
    return fd;
}

void UnlockFolder(int lock) {
    if (lock >= 0) ::close(lock);
}
