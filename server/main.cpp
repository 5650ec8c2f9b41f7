// quillrun-scores: the score server that the game's 'U' key uploads to and
// whose list page it opens; it proves the runs sent with the uploads.
// SPDX-License-Identifier: MIT
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "base/command_line.h"
#include "base/game_paths.h"
#include "server/http_front.h"
#include "server/log_queue.h"
#include "server/map_names.h"
#include "server/proof_queue.h"
#include "proof/run_proof.h"
#include "server/score_store.h"
#include "server/store_opener.h"

namespace {

// Log lines that may wait for a slow reader before new ones are dropped.
constexpr size_t kLogQueueLines = 65536;

// "host:port" or "[v6 address]:port".
std::string ReadListen(const std::string& text, FrontOptions* o) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return "--listen needs HOST:PORT";
    std::string host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    o->host = host;
    return ReadWholeNumber(text.substr(colon + 1), "--listen port", 0, 65535, &o->port);
}

}  // namespace

int main(int argc, char** argv) {
    FrontOptions options;
    std::string database = "sqlite:" + PerUserFolder() + "/scores.sqlite";
    std::string mapsIni = ExecutableFolder() + "/Maps/Maps.ini";
    CommandLine line;
    line.program = "quillrun-scores";
    line.synopsis = "[options]\n\nThe Quillrun score server: stores the records that the game uploads and\n"
                    "serves the score list page.";
    line.options = {
        {"listen", "HOST:PORT", "address to serve on (default 127.0.0.1:8080; port 0 picks a free one)",
         [&](const std::string& v) { return ReadListen(v, &options); }},
        {"database", "LOCATION", "sqlite:PATH or postgresql://... (default sqlite:<per-user folder>/scores.sqlite)",
         [&](const std::string& v) { database = v; return std::string(); }},
        {"maps", "PATH",
         "the Maps.ini with the official map names, beside the caves that runs are proven on (default "
         "Maps/Maps.ini beside the program)",
         [&](const std::string& v) { mapsIni = v; return std::string(); }},
        {"rate-limit", "N", "uploads a minute from one address (default 30; 0: none)",
         [&](const std::string& v) { return ReadWholeNumber(v, "--rate-limit", 0, 1000000, &options.rateLimit); }},
        {"head-timeout", "S", "seconds the request line may take, and again the headers (default 10)",
         [&](const std::string& v) {
             return ReadWholeNumber(v, "--head-timeout", 1, 3600, &options.headTimeoutSeconds);
         }},
        {"body-timeout", "S", "seconds the body of a run may take to arrive (default 30)",
         [&](const std::string& v) {
             return ReadWholeNumber(v, "--body-timeout", 1, 3600, &options.bodyTimeoutSeconds);
         }},
        {"max-pending", "N", "runs waiting for their proof; more are refused (default 1000)",
         [&](const std::string& v) { return ReadWholeNumber(v, "--max-pending", 1, 1000000, &options.maxPending); }},
        {"idle-timeout", "S", "seconds a connection may wait for its next request (default 30)",
         [&](const std::string& v) {
             return ReadWholeNumber(v, "--idle-timeout", 1, 3600, &options.idleTimeoutSeconds);
         }},
        {"max-connections", "N", "connections open at once (default: as many as the open-file limit allows)",
         [&](const std::string& v) {
             return ReadWholeNumber(v, "--max-connections", 1, 1 << 20, &options.maxConnections);
         }},
        {"max-per-client", "N", "connections open at once from one address (default 256)",
         [&](const std::string& v) {
             return ReadWholeNumber(v, "--max-per-client", 1, 1 << 20, &options.maxPerClient);
         }},
        {"threads", "N", "requests answered at once (default 64)",
         [&](const std::string& v) { return ReadWholeNumber(v, "--threads", 2, 1024, &options.threads); }},
    };
    ParseCommandLine(line, argc, argv);

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

    SetProofCaves(mapsIni);
    ProofQueue proofs(*store);
    LogQueue log(STDOUT_FILENO, kLogQueueLines);
    ScoreFront front(*store, ReadMapNames(mapsIni), options, log, [&] { proofs.Wake(); });
    std::string error;
    const int port = front.Bind(&error);
    if (port < 0) {
        std::fprintf(stderr, "quillrun-scores: %s\n", error.c_str());
        return 1;
    }
    const bool v6 = options.host.find(':') != std::string::npos;
    log.Line("quillrun-scores listening on http://" + std::string(v6 ? "[" : "") + options.host + (v6 ? "]" : "") +
             ":" + std::to_string(port) + "/");

    proofs.Start();  // runs left waiting by the last start are proven first
    std::thread waiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        front.Stop();
        proofs.Stop();
    });
    front.Serve();  // returns after Stop, once in-flight requests are done
    // Wake the waiter if the server ended for another reason.
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    proofs.Stop();
    store.reset();
    log.Line("quillrun-scores stopped");
    return 0;
}
