// What the score server answers to a request it has read whole: the game's
// upload and its run, the list page, the JSON API with the proven runs, the
// style sheet and icon, health, and the not-found page. No network here: the front hands requests in and writes
// the answers out.
// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "server/rate_limiter.h"
#include "server/score_store.h"

struct HttpAnswer {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // besides the usual ones
};

// A one-line text answer, never cached.
HttpAnswer PlainText(int status, const std::string& text);

class ScoreRoutes {
public:
    // `store` must outlive the routes; `mapNames` is indexed by map number.
    // A run is taken while fewer than `maxPending` wait for their proof;
    // `runStored` is called after each one stored.
    ScoreRoutes(ScoreStore& store, std::vector<std::string> mapNames, int rateLimit, int maxPending,
                std::function<void()> runStored);

    // The answer to GET or HEAD `target` (path and query) from `client`
    // (its address). Safe from many threads at once; a database failure is
    // answered 503.
    HttpAnswer Answer(bool head, const std::string& target, const std::string& client);

    // The answer to POST /api/runs?query with the replay file `body`.
    HttpAnswer AnswerRun(const std::string& query, const std::string& body, const std::string& client);

private:
    HttpAnswer Route(bool head, const std::string& path, const std::string& query, const std::string& client);
    HttpAnswer Upload(bool head, const std::string& query, const std::string& client);
    HttpAnswer Page(const std::string& query);
    HttpAnswer StoreRun(const std::string& query, const std::string& body, const std::string& client);
    MapScores ScoresOf(int id, int limit, bool provenOnly);

    ScoreStore& store_;
    const std::vector<std::string> mapNames_;
    RateLimiter limiter_, runLimiter_;
    const int maxPending_;
    const std::function<void()> runStored_;
};

// The server's UTC time in strftime's `format`, with ".mmmZ" added when `millis`.
std::string UtcText(const char* format, bool millis);

// The path that runs are sent to with POST.
constexpr const char kRunsPath[] = "/api/runs";

// The reason phrase of the statuses the server sends.
const char* StatusText(int status);
