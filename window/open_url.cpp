// Opening a web page in the desktop's browser through xdg-open.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

// Starts the desktop's opener for `url` in its own session and does not wait
// for it. The intermediate child exits at once and is reaped here, so the
// opener belongs to init and no zombie stays behind. Between fork and exec
// only system calls are made: the window build has more than one thread.
void PlatformOpenUrl(const std::string& url) {
    const char* argv[] = {"xdg-open", url.c_str(), nullptr};
    const pid_t child = fork();
    if (child < 0) return;
    if (child == 0) {
        setsid();
        if (fork() == 0) {
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
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}
