// quillrun-scores: the score server that the game's 'U' key uploads to and
// whose list page it opens.
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "server/http_front.h"
#include "server/map_names.h"
#include "server/score_store.h"
#include "server/store_opener.h"

namespace {

constexpr const char* kVersion = "1.21";

constexpr const char* kUsage = R"(Usage: quillrun-scores [options]

The Quillrun score server: stores the records that the game uploads and
serves the score list page.

  --listen HOST:PORT    address to serve on (default 127.0.0.1:8080; port 0
                        picks a free port)
  --database LOCATION   sqlite:PATH or postgresql://... (default
                        sqlite:$XDG_DATA_HOME/quillrun/scores.sqlite)
  --maps PATH           the Maps.ini with the official map names (default:
                        Maps/Maps.ini beside this program)
  --rate-limit N        uploads a minute from one address (default 30; 0: none)
  --head-timeout S      seconds a request line and headers may take (default 10)
  --threads N           connections served at once (default 64)
  --help, --version
)";

[[noreturn]] void Usage(const std::string& problem) {
    std::fprintf(stderr, "quillrun-scores: %s\n(see quillrun-scores --help)\n", problem.c_str());
    std::exit(2);
}

int WholeNumber(const std::string& text, const char* option, int low, int high) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || errno || v < low || v > high)
        Usage(std::string(option) + " needs a whole number from " + std::to_string(low) + " to " +
              std::to_string(high));
    return static_cast<int>(v);
}

// "host:port" or "[v6 address]:port".
void ReadListen(const std::string& text, FrontOptions* o) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) Usage("--listen needs HOST:PORT");
    std::string host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    o->host = host;
    o->port = WholeNumber(text.substr(colon + 1), "--listen port", 0, 65535);
}

std::string DefaultDatabase() {
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    std::string base = data && *data == '/' ? data : std::string(home && *home ? home : ".") + "/.local/share";
    return "sqlite:" + base + "/quillrun/scores.sqlite";
}

std::string ProgramFolder() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string p(path, static_cast<size_t>(n));
    return p.substr(0, p.rfind('/'));
}

}  // namespace

int main(int argc, char** argv) {
    FrontOptions options;
    std::string database = DefaultDatabase();
    std::string mapsIni = ProgramFolder() + "/Maps/Maps.ini";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) Usage(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("quillrun-scores %s\n", kVersion);
            return 0;
        } else if (arg == "--listen") {
            ReadListen(value(), &options);
        } else if (arg == "--database") {
            database = value();
        } else if (arg == "--maps") {
            mapsIni = value();
        } else if (arg == "--rate-limit") {
            options.rateLimit = WholeNumber(value(), "--rate-limit", 0, 1000000);
        } else if (arg == "--head-timeout") {
            options.headTimeoutSeconds = WholeNumber(value(), "--head-timeout", 1, 3600);
        } else if (arg == "--threads") {
            options.threads = WholeNumber(value(), "--threads", 2, 1024);
        } else {
            Usage("unknown argument " + arg);
        }
    }

    // SIGTERM and SIGINT are taken by one thread that stops the server;
    // every other thread inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    if (::access(mapsIni.c_str(), R_OK) != 0)
        std::fprintf(stderr, "quillrun-scores: cannot read %s; maps are named by number\n", mapsIni.c_str());

    std::unique_ptr<ScoreStore> store;
    try {
        store = OpenScoreStore(database);
    } catch (const StoreError& e) {
        std::fprintf(stderr, "quillrun-scores: %s\n", e.what());
        return 1;
    }

    ScoreFront front(*store, ReadMapNames(mapsIni), options, stdout);
    std::string error;
    const int port = front.Bind(&error);
    if (port < 0) {
        std::fprintf(stderr, "quillrun-scores: %s\n", error.c_str());
        return 1;
    }
    const bool v6 = options.host.find(':') != std::string::npos;
    std::printf("quillrun-scores listening on http://%s%s%s:%d/\n", v6 ? "[" : "", options.host.c_str(),
                v6 ? "]" : "", port);
    std::fflush(stdout);

    std::thread waiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        front.Stop();
    });
    front.Serve();  // returns after Stop, once in-flight requests are done
    // Wake the waiter if the server ended for another reason.
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    store.reset();
    std::printf("quillrun-scores stopped\n");
    return 0;
}
