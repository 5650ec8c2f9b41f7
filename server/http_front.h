// The HTTP front of the score server: the routes (upload, list page, JSON
// API, health), the request limits, and one log line per request.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "server/score_store.h"

struct FrontOptions {
    std::string host = "127.0.0.1";
    int port = 8080;           // 0: any free port
    int rateLimit = 30;        // uploads a minute per client address; 0: none
    int ioTimeoutSeconds = 5;  // one read or write waits at most this long
    int headTimeoutSeconds = 10;  // a request line and headers must arrive within this
    int threads = 64;             // connections served at once
};

class ScoreFront {
public:
    // `log` receives the request lines; `store` must outlive the front.
    ScoreFront(ScoreStore& store, std::vector<std::string> mapNames, const FrontOptions& options, std::FILE* log);
    ~ScoreFront();

    // Binds the listening socket; the port bound, or -1 with `error` set.
    int Bind(std::string* error);
    // Serves until Stop; in-flight requests are finished before it returns.
    void Serve();
    // Stops accepting; safe from another thread, also before Serve.
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
