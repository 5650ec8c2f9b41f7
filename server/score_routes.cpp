// The score server's routes.
// SPDX-License-Identifier: MIT
#include "server/score_routes.h"

#include <chrono>
#include <ctime>

#include "server/json_text.h"
#include "server/score_page.h"
#include "server/upload_request.h"

namespace {

constexpr int kLatestCount = 20;
constexpr int kTopCount = 10;
constexpr int kMaxApiLimit = 100;

}  // namespace

std::string UtcText(const char* format, bool millis) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    size_t n = std::strftime(text, sizeof text, format, &utc);
    if (millis) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
        std::snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(ms));
    }
    return text;
}

HttpAnswer PlainText(int status, const std::string& text) {
    HttpAnswer a;
    a.status = status;
    a.body = text + "\n";
    a.headers = {{"Cache-Control", "no-store"}};
    return a;
}

namespace {

HttpAnswer Json(int status, std::string json) {
    HttpAnswer a;
    a.status = status;
    a.contentType = "application/json";
    a.body = std::move(json);
    a.headers = {{"Cache-Control", "no-cache"}};
    return a;
}

HttpAnswer Static(const char* type, const char* body, const char* cache) {
    HttpAnswer a;
    a.contentType = type;
    a.body = body;
    a.headers = {{"Cache-Control", cache}};
    return a;
}

HttpAnswer NotFound() {
    HttpAnswer a;
    a.status = 404;
    a.contentType = "text/html; charset=utf-8";
    a.body = RenderNotFoundPage();
    return a;
}

// The values of parameter `name`, or nullopt-like false on bad encoding.
bool ValuesOf(const std::string& query, const char* name, std::vector<std::string>* values) {
    std::vector<std::pair<std::string, std::string>> pairs;
    if (!QueryPairs(query, &pairs)) return false;
    values->clear();
    for (auto& [key, value] : pairs)
        if (key == name) values->push_back(value);
    return true;
}

// The `limit` parameter: `fallback` when absent, 0 when not 1..100 or given
// more than once.
int LimitParam(const std::string& query, int fallback) {
    std::vector<std::string> values;
    if (!ValuesOf(query, "limit", &values)) return 0;
    if (values.empty()) return fallback;
    const std::string& text = values[0];
    if (values.size() != 1 || text.empty() || text.size() > 3) return 0;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        v = v * 10 + (c - '0');
    }
    return v >= 1 && v <= kMaxApiLimit ? v : 0;
}

// "{start}{digits}{end}": the number (1 to 18 digits), else -1.
long long PathNumber(const std::string& path, const std::string& start, const std::string& end) {
    if (path.size() <= start.size() + end.size() || path.size() > start.size() + end.size() + 18 ||
        path.compare(0, start.size(), start) != 0 || path.compare(path.size() - end.size(), end.size(), end) != 0)
        return -1;
    long long n = 0;
    for (size_t i = start.size(); i < path.size() - end.size(); ++i) {
        if (path[i] < '0' || path[i] > '9') return -1;
        n = n * 10 + (path[i] - '0');
    }
    return n;
}

// The `proven` parameter: 0 when absent, 1 for "1" given once, -1 otherwise.
int ProvenParam(const std::string& query) {
    std::vector<std::string> values;
    if (!ValuesOf(query, "proven", &values)) return -1;
    if (values.empty()) return 0;
    return values.size() == 1 && values[0] == "1" ? 1 : -1;
}

// A replay file to download, named as the game names it.
HttpAnswer ReplayFile(int mapId, std::string replay) {
    HttpAnswer a;
    a.contentType = "application/octet-stream";
    a.body = std::move(replay);
    char name[40];
    std::snprintf(name, sizeof name, "attachment; filename=\"Map%02d.replay\"", mapId);
    a.headers = {{"Content-Disposition", name}, {"Cache-Control", "no-cache"}};
    return a;
}

}  // namespace

const char* StatusText(int status) {
    switch (status) {
        case 200: return "OK";
        case 202: return "Accepted";
        case 302: return "Found";
        case 400: return "Bad Request";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 408: return "Request Timeout";
        case 409: return "Conflict";
        case 411: return "Length Required";
        case 413: return "Content Too Large";
        case 414: return "URI Too Long";
        case 429: return "Too Many Requests";
        case 431: return "Request Header Fields Too Large";
        case 503: return "Service Unavailable";
        case 505: return "HTTP Version Not Supported";
        default: return "Error";
    }
}

ScoreRoutes::ScoreRoutes(ScoreStore& store, std::vector<std::string> mapNames, int rateLimit, int maxPending,
                         std::function<void()> runStored)
    : store_(store),
      mapNames_(std::move(mapNames)),
      limiter_(rateLimit),
      runLimiter_(rateLimit),
      maxPending_(maxPending),
      runStored_(std::move(runStored)) {}

MapScores ScoreRoutes::ScoresOf(int id, int limit, bool provenOnly) {
    return {id, static_cast<size_t>(id) < mapNames_.size() ? mapNames_[id] : "Map " + std::to_string(id),
            store_.Top(id, limit, provenOnly)};
}

HttpAnswer ScoreRoutes::Answer(bool head, const std::string& target, const std::string& client) {
    const size_t q = target.find('?');
    const std::string path = target.substr(0, q);
    const std::string query = q == std::string::npos ? std::string() : target.substr(q + 1);
    try {
        return Route(head, path, query, client);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillrun-scores: %s\n", e.what());
        return PlainText(503, "the score database is not available; try again later");
    }
}

HttpAnswer ScoreRoutes::AnswerRun(const std::string& query, const std::string& body, const std::string& client) {
    try {
        return StoreRun(query, body, client);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillrun-scores: %s\n", e.what());
        return PlainText(503, "the score database is not available; try again later");
    }
}

// A run sent for an upload stored before: kept with it, pending its proof.
HttpAnswer ScoreRoutes::StoreRun(const std::string& query, const std::string& body, const std::string& client) {
    if (!runLimiter_.Allow(client)) {
        HttpAnswer a = PlainText(429, "too many runs from this address; try again in a minute");
        a.headers.emplace_back("Retry-After", "60");
        return a;
    }
    const UploadParse parsed = ParseRunQuery(query, UtcText("%Y-%m-%d", false));
    if (!parsed.ok) return PlainText(400, parsed.reason);
    switch (store_.AttachRun(parsed.upload, body, maxPending_)) {
        case RunAttach::kAttached:
            if (runStored_) runStored_();
            return PlainText(202, "accepted for proving");
        case RunAttach::kNoSuchUpload: return PlainText(404, "no such upload");
        case RunAttach::kHasRun: return PlainText(409, "this upload already has its run");
        case RunAttach::kQueueFull: break;
    }
    HttpAnswer a = PlainText(503, "too many runs wait for their proof; try again later");
    a.headers.emplace_back("Retry-After", "60");
    return a;
}

HttpAnswer ScoreRoutes::Upload(bool head, const std::string& query, const std::string& client) {
    if (head) {
        HttpAnswer a = PlainText(405, "uploads are sent with GET");
        a.headers.emplace_back("Allow", "GET");
        return a;
    }
    if (!limiter_.Allow(client)) {
        HttpAnswer a = PlainText(429, "too many uploads from this address; try again in a minute");
        a.headers.emplace_back("Retry-After", "60");
        return a;
    }
    UploadParse parsed = ParseUpload(query, UtcText("%Y-%m-%d", false));
    if (!parsed.ok) return PlainText(400, parsed.reason);
    parsed.upload.receivedAt = UtcText("%Y-%m-%dT%H:%M:%S", true);
    store_.Add(parsed.upload);
    return PlainText(200, "OK");
}

HttpAnswer ScoreRoutes::Page(const std::string& query) {
    std::vector<std::string> game;
    const int proven = ProvenParam(query);
    if (!ValuesOf(query, "game", &game) || game.size() != 1 || game[0] != "4" || proven < 0) return NotFound();
    std::vector<MapScores> maps;
    for (int id = kFirstMap; id <= kLastMap; ++id) maps.push_back(ScoresOf(id, kTopCount, proven == 1));
    HttpAnswer a;
    a.contentType = "text/html; charset=utf-8";
    a.body = RenderScorePage(maps, store_.Latest(kLatestCount), mapNames_, proven == 1);
    a.headers = {{"Cache-Control", "no-cache"}};
    return a;
}

HttpAnswer ScoreRoutes::Route(bool head, const std::string& path, const std::string& query,
                              const std::string& client) {
    if (path == "/files/games/quillrun/score.php") return Upload(head, query, client);
    if (path == kRunsPath) {
        HttpAnswer a = PlainText(405, "runs are sent with POST");
        a.headers.emplace_back("Allow", "POST");
        return a;
    }
    if (path == "/index2.php") return Page(query);
    if (path == "/") {
        HttpAnswer a;
        a.status = 302;
        a.contentType = "text/html; charset=utf-8";
        a.body = "<!DOCTYPE html>\n<title>Quillrun high scores</title>\n<a href=\"/index2.php?game=4\">Scores</a>\n";
        a.headers = {{"Location", "/index2.php?game=4"}};
        return a;
    }
    if (path == "/static/scores.css") return Static("text/css; charset=utf-8", kScoreStyleSheet, "public, max-age=3600");
    if (path == "/favicon.svg" || path == "/favicon.ico")
        return Static("image/svg+xml", kScoreIcon, "public, max-age=86400");
    if (path == "/healthz")
        return store_.Healthy() ? PlainText(200, "ok") : PlainText(503, "database unavailable");
    if (path == "/api/maps") {
        std::vector<MapScores> maps;
        for (int id = kFirstMap; id <= kLastMap; ++id) maps.push_back(ScoresOf(id, 1, false));
        return Json(200, MapsJson(maps));
    }
    if (path == "/api/uploads") {
        const int limit = LimitParam(query, kLatestCount);
        if (limit == 0) return Json(400, "{\"error\":\"limit must be a whole number from 1 to 100\"}\n");
        return Json(200, UploadsJson(store_.Latest(limit)));
    }
    if (const long long id = PathNumber(path, "/api/maps/", "/scores"); id >= 0) {
        const int limit = LimitParam(query, kTopCount), proven = ProvenParam(query);
        if (id < kFirstMap || id > kLastMap) return Json(404, "{\"error\":\"no such map\"}\n");
        if (limit == 0) return Json(400, "{\"error\":\"limit must be a whole number from 1 to 100\"}\n");
        if (proven < 0) return Json(400, "{\"error\":\"proven must be 1 or left out\"}\n");
        return Json(200, MapScoresJson(ScoresOf(static_cast<int>(id), limit, proven == 1)));
    }
    if (const long long id = PathNumber(path, "/api/maps/", "/best-run"); id >= 0) {
        if (id < kFirstMap || id > kLastMap) return NotFound();
        std::string replay;
        if (!store_.BestRun(static_cast<int>(id), &replay)) return PlainText(404, "no proven run of this map yet");
        return ReplayFile(static_cast<int>(id), std::move(replay));
    }
    if (const long long id = PathNumber(path, "/api/uploads/", "/replay"); id >= 0) {
        std::string replay;
        int mapId = 0;
        if (!store_.ProvenRun(id, &mapId, &replay)) return PlainText(404, "no proven run of this upload");
        return ReplayFile(mapId, std::move(replay));
    }
    return NotFound();
}
