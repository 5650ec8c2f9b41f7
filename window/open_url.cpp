// Opening a web page in the desktop's browser through xdg-open, and telling
// whether that failed.
// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

namespace {

// xdg-open hands the page to the browser and ends within this on a working
// desktop; one still running then has started a browser in its place.
constexpr long kOpenerVerdictMs = 2000;

long MonotonicMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

// In the intermediate child: the opener's verdict as an exit status, 0 when
// it ended well or still runs after kOpenerVerdictMs, 1 when it could not be
// started (status 127), failed or was killed.
[[noreturn]] void AwaitOpener(pid_t opener) {
    const long until = MonotonicMs() + kOpenerVerdictMs;
    const timespec step{0, 20 * 1000 * 1000};
    while (MonotonicMs() < until) {
        int status = 0;
        const pid_t done = waitpid(opener, &status, WNOHANG);
        if (done == opener) _exit(WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1);
        if (done < 0 && errno != EINTR) _exit(1);
        nanosleep(&step, nullptr);
    }
    _exit(0);
}

}  // namespace

// Starts the desktop's opener for `url` in its own session. An intermediate
// child waits a moment for the opener's verdict and exits with it, so the
// opener belongs to init and no zombie stays behind. Between fork and exec
// only system calls are made: the window build has more than one thread.
bool PlatformOpenUrl(const std::string& url) {
    const char* argv[] = {"xdg-open", url.c_str(), nullptr};
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        setsid();
        const pid_t opener = fork();
        if (opener < 0) _exit(1);
        if (opener == 0) {
            const int devNull = open("/dev/null", O_RDWR);
            if (devNull >= 0) {
                dup2(devNull, 0);
                dup2(devNull, 1);
                dup2(devNull, 2);
            }
            close_range(3, ~0u, 0);
            execvp("xdg-open", const_cast<char* const*>(argv));
            _exit(127);
        }
        AwaitOpener(opener);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
