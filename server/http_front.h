// The HTTP front of the score server: one event loop reads and writes every
// connection (heads, and the bodies of runs), so idle and slow clients cost
// no thread; requests read whole
// are answered by a pool of threads (the store may wait for its disk). It
// keeps the limits (connections in all and per client address, a time for
// each phase of a request), parses strictly, and logs one line per request.
// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "server/score_store.h"

class LogQueue;

struct FrontOptions {
    std::string host = "127.0.0.1";
    int port = 8080;               // 0: any free port
    int rateLimit = 30;            // uploads a minute per client address; 0: none
    int threads = 64;              // requests answered at once
    int headTimeoutSeconds = 10;   // for the request line, and again for the headers
    int idleTimeoutSeconds = 30;   // a connection waiting for its next request
    int bodyTimeoutSeconds = 30;   // a run's body, from the end of its head
    int writeTimeoutSeconds = 10;  // an answer must be taken within this
    int maxConnections = 0;        // 0: as many as the open-file limit allows
    int maxPerClient = 256;        // connections from one client address
    int drainSeconds = 10;         // after a stop, requests under way may take this long
    int maxPending = 1000;         // runs waiting for their proof; more are refused
};

// The largest run taken: the game reads no larger replay file.
constexpr size_t kMaxRunBytes = 4 << 20;

class ScoreFront {
public:
    // `store` and `log` must outlive the front; `runStored` is called after
    // each run stored for its proof.
    ScoreFront(ScoreStore& store, std::vector<std::string> mapNames, const FrontOptions& options, LogQueue& log,
               std::function<void()> runStored = {});
    ~ScoreFront();

    // Binds the listening socket; the port bound, or -1 with `error` set.
    int Bind(std::string* error);
    // Serves until Stop; returns once every request accepted before the stop
    // has been answered (or the drain time has run out).
    void Serve();
    // Stops accepting; safe from another thread, also before Serve.
    void Stop();

    struct Impl;  // public only so that the connections in the source can name it

private:
    std::unique_ptr<Impl> impl_;
};
