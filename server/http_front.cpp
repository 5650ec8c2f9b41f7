// The HTTP front on cpp-httplib. Connections are served by our own loop over
// a stream that bounds the request line (414) and the header block (431)
// while reading them, drops a client whose request head takes longer than
// the head timeout however slowly its bytes trickle in (408), and limits
// every single read and write.
// SPDX-License-Identifier: MIT
#include "server/http_front.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <mutex>

#include "server/json_text.h"
#include "server/rate_limiter.h"
#include "server/request_head.h"
#include "server/score_page.h"
#include "server/upload_request.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxRequestLine = 8192;
constexpr size_t kMaxHeaderBlock = 8192;
constexpr int kListenBacklog = 256;
constexpr int kLatestCount = 20;
constexpr int kTopCount = 10;
constexpr int kMaxApiLimit = 100;

constexpr const char* kSecurityPolicy =
    "default-src 'none'; style-src 'self'; img-src 'self'; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'";

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

std::string TodayUtc() { return UtcText("%Y-%m-%d", false); }
std::string NowUtc() { return UtcText("%Y-%m-%dT%H:%M:%S", true); }

// A request line for the log: printable ASCII kept, everything else as \xNN.
std::string LogSafe(const std::string& text, size_t limit = 1024) {
    std::string out;
    for (size_t i = 0; i < text.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (text.size() > limit) out += "...";
    return out;
}

std::string AddressText(const sockaddr_storage& a, int* port) {
    char text[INET6_ADDRSTRLEN] = "";
    if (a.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&a);
        inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        *port = ntohs(v4->sin_port);
    } else if (a.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&a);
        inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        *port = ntohs(v6->sin6_port);
    }
    return text;
}

class LogWriter {
public:
    explicit LogWriter(std::FILE* out) : out_(out) {}
    void Line(const std::string& client, const std::string& requestLine, int status, size_t bytes, double ms) {
        char tail[96];
        std::snprintf(tail, sizeof tail, "\" %d %zu %.3fms\n", status, bytes, ms);
        const std::string line = NowUtc() + " " + client + " \"" + LogSafe(requestLine) + tail;
        std::lock_guard<std::mutex> lock(mutex_);
        std::fwrite(line.data(), 1, line.size(), out_);
        std::fflush(out_);
    }

private:
    std::FILE* out_;
    std::mutex mutex_;
};

// One client connection as httplib reads and writes it.
class LimitedStream final : public httplib::Stream {
public:
    LimitedStream(int sock, const FrontOptions& o, LogWriter& log)
        : sock_(sock), options_(o), log_(log), head_(kMaxRequestLine, kMaxHeaderBlock) {
        // Headers and body go out in separate writes; without this the body
        // waits for the client's delayed acknowledgement (about 40 ms).
        int yes = 1;
        ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        sockaddr_storage a{};
        socklen_t length = sizeof a;
        if (getpeername(sock, reinterpret_cast<sockaddr*>(&a), &length) == 0) client_ = AddressText(a, &clientPort_);
    }

    // Called before each request of the connection.
    void BeginRequest() {
        start_ = Clock::now();
        head_.Reset();
    }
    Clock::time_point RequestStart() const { return start_; }
    bool Aborted() const { return aborted_; }
    bool CloseAfterResponse() const { return closeAfter_ || aborted_; }
    void SetCloseAfterResponse() { closeAfter_ = true; }

    bool is_readable() const override { return WaitFor(POLLIN, ReadWaitMs()); }
    bool is_writable() const override { return !aborted_ && WaitFor(POLLOUT, options_.ioTimeoutSeconds * 1000); }

    ssize_t read(char* ptr, size_t size) override {
        if (aborted_) return -1;
        if (!head_.Ended() && Clock::now() >= start_ + std::chrono::seconds(options_.headTimeoutSeconds)) {
            Refuse(408, "Request Timeout");
            return -1;
        }
        if (!WaitFor(POLLIN, ReadWaitMs())) {
            if (!head_.Ended() && Clock::now() >= start_ + std::chrono::seconds(options_.headTimeoutSeconds))
                Refuse(408, "Request Timeout");
            return -1;
        }
        ssize_t n;
        do n = ::recv(sock_, ptr, size, 0);
        while (n < 0 && errno == EINTR);
        if (n > 0) {
            if (const int refusal = head_.Scan(ptr, static_cast<size_t>(n))) {
                Refuse(refusal, refusal == 414 ? "URI Too Long" : "Request Header Fields Too Large");
                return -1;
            }
        }
        return n;
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (aborted_ || !WaitFor(POLLOUT, options_.ioTimeoutSeconds * 1000)) return -1;
        ssize_t n;
        do n = ::send(sock_, ptr, size, MSG_NOSIGNAL);
        while (n < 0 && errno == EINTR);
        return n;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = client_;
        port = clientPort_;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage a{};
        socklen_t length = sizeof a;
        if (getsockname(sock_, reinterpret_cast<sockaddr*>(&a), &length) == 0) ip = AddressText(a, &port);
    }
    socket_t socket() const override { return sock_; }

private:
    int ReadWaitMs() const {
        int ms = options_.ioTimeoutSeconds * 1000;
        if (!head_.Ended()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  start_ + std::chrono::seconds(options_.headTimeoutSeconds) - Clock::now())
                                  .count();
            ms = static_cast<int>(std::max<long long>(0, std::min<long long>(ms, left)));
        }
        return ms;
    }

    bool WaitFor(short events, int ms) const {
        pollfd p{sock_, events, 0};
        int r;
        do r = ::poll(&p, 1, ms);
        while (r < 0 && errno == EINTR);
        return r > 0 && (p.revents & (events | POLLHUP | POLLERR));
    }

    // Answers and ends the connection; httplib sees a failed read.
    void Refuse(int status, const char* reason) {
        const std::string body = std::string(reason) + "\n";
        const std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + reason +
                                   "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                                   std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
        if (WaitFor(POLLOUT, 1000)) (void)::send(sock_, answer.data(), answer.size(), MSG_NOSIGNAL);
        aborted_ = true;
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
        const std::string& line = head_.RequestLine();
        log_.Line(client_, line + (line.size() >= RequestHead::kLoggedLine ? "..." : ""), status, body.size(), ms);
    }

    const int sock_;
    const FrontOptions& options_;
    LogWriter& log_;
    std::string client_;
    int clientPort_ = 0;
    Clock::time_point start_ = Clock::now();
    RequestHead head_;
    bool aborted_ = false, closeAfter_ = false;
};

thread_local LimitedStream* tStream = nullptr;

class FrontServer final : public httplib::Server {
public:
    FrontServer(const FrontOptions& options, LogWriter& log) : options_(options), log_(log) {}

    std::atomic<socket_t>& ListenSocket() { return svr_sock_; }

private:
    // httplib's keep-alive loop, over the limited stream.
    bool process_and_close_socket(socket_t sock) override {
        LimitedStream stream(sock, options_, log_);
        tStream = &stream;
        bool ok = false;
        for (size_t left = keep_alive_max_count_; left > 0 && WaitForRequest(sock); --left) {
            stream.BeginRequest();
            bool closed = false;
            ok = process_request(stream, left == 1, closed, nullptr);
            if (!ok || closed || stream.CloseAfterResponse()) break;
        }
        tStream = nullptr;
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
        return ok;
    }

    // Waits for the next request's first byte, in short steps so that a
    // stopping server lets idle connections go at once.
    bool WaitForRequest(socket_t sock) {
        const auto until = Clock::now() + std::chrono::seconds(keep_alive_timeout_sec_);
        while (svr_sock_ != INVALID_SOCKET && Clock::now() < until) {
            pollfd p{sock, POLLIN, 0};
            const int r = ::poll(&p, 1, 100);
            if (r > 0) return (p.revents & POLLIN) != 0;
            if (r < 0 && errno != EINTR) return false;
        }
        return false;
    }

    const FrontOptions& options_;
    LogWriter& log_;
};

void PlainText(httplib::Response& res, int status, const std::string& text) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(text + "\n", "text/plain; charset=utf-8");
}

void Json(httplib::Response& res, int status, const std::string& json) {
    res.status = status;
    res.set_header("Cache-Control", "no-cache");
    res.set_content(json, "application/json");
}

std::string QueryOf(const httplib::Request& req) {
    const size_t q = req.target.find('?');
    return q == std::string::npos ? std::string() : req.target.substr(q + 1);
}

// The `limit` parameter: `fallback` when absent, 0 when not 1..100.
int LimitParam(const httplib::Request& req, int fallback) {
    if (!req.has_param("limit")) return fallback;
    const std::string text = req.get_param_value("limit");
    if (req.get_param_value_count("limit") != 1 || text.empty() || text.size() > 3) return 0;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        v = v * 10 + (c - '0');
    }
    return v >= 1 && v <= kMaxApiLimit ? v : 0;
}

}  // namespace

struct ScoreFront::Impl {
    ScoreStore& store;
    const std::vector<std::string> mapNames;
    const FrontOptions options;
    LogWriter log;
    RateLimiter limiter;
    FrontServer server;
    std::atomic<bool> stopRequested{false};

    Impl(ScoreStore& s, std::vector<std::string> names, const FrontOptions& o, std::FILE* out)
        : store(s), mapNames(std::move(names)), options(o), log(out), limiter(o.rateLimit), server(options, log) {
        Routes();
    }

    MapScores ScoresOf(int id, int limit) {
        return {id, static_cast<size_t>(id) < mapNames.size() ? mapNames[id] : "Map " + std::to_string(id),
                store.Top(id, limit)};
    }

    void Upload(const httplib::Request& req, httplib::Response& res) {
        if (req.method == "HEAD") {
            res.set_header("Allow", "GET");
            PlainText(res, 405, "uploads are sent with GET");
            return;
        }
        if (!limiter.Allow(req.remote_addr)) {
            res.set_header("Retry-After", "60");
            PlainText(res, 429, "too many uploads from this address; try again in a minute");
            return;
        }
        UploadParse parsed = ParseUpload(QueryOf(req), TodayUtc());
        if (!parsed.ok) {
            PlainText(res, 400, parsed.reason);
            return;
        }
        parsed.upload.receivedAt = NowUtc();
        store.Add(parsed.upload);
        PlainText(res, 200, "OK");
    }

    void Page(const httplib::Request& req, httplib::Response& res) {
        if (req.get_param_value_count("game") != 1 || req.get_param_value("game") != "4") {
            NotFound(res);
            return;
        }
        std::vector<MapScores> maps;
        for (int id = kFirstMap; id <= kLastMap; ++id) maps.push_back(ScoresOf(id, kTopCount));
        res.set_header("Cache-Control", "no-cache");
        res.set_content(RenderScorePage(maps, store.Latest(kLatestCount), mapNames), "text/html; charset=utf-8");
    }

    static void NotFound(httplib::Response& res) {
        res.status = 404;
        res.set_content(RenderNotFoundPage(), "text/html; charset=utf-8");
    }

    void Routes() {
        using Req = const httplib::Request&;
        using Res = httplib::Response&;
        server.Get("/files/games/quillrun/score.php", [this](Req req, Res res) { Upload(req, res); });
        server.Get("/index2.php", [this](Req req, Res res) { Page(req, res); });
        server.Get("/", [](Req, Res res) {
            res.status = 302;
            res.set_header("Location", "/index2.php?game=4");
            res.set_content(
                "<!DOCTYPE html>\n<title>Quillrun high scores</title>\n<a href=\"/index2.php?game=4\">Scores</a>\n",
                "text/html; charset=utf-8");
        });
        server.Get("/static/scores.css", [](Req, Res res) {
            res.set_header("Cache-Control", "public, max-age=3600");
            res.set_content(kScoreStyleSheet, "text/css; charset=utf-8");
        });
        server.Get("/favicon\\.(svg|ico)", [](Req, Res res) {
            res.set_header("Cache-Control", "public, max-age=86400");
            res.set_content(kScoreIcon, "image/svg+xml");
        });
        server.Get("/api/maps", [this](Req, Res res) {
            std::vector<MapScores> maps;
            for (int id = kFirstMap; id <= kLastMap; ++id) maps.push_back(ScoresOf(id, 1));
            Json(res, 200, MapsJson(maps));
        });
        server.Get(R"(/api/maps/(\d{1,9})/scores)", [this](Req req, Res res) {
            const long id = std::stol(req.matches[1]);
            const int limit = LimitParam(req, kTopCount);
            if (id < kFirstMap || id > kLastMap) return Json(res, 404, "{\"error\":\"no such map\"}\n");
            if (limit == 0) return Json(res, 400, "{\"error\":\"limit must be a whole number from 1 to 100\"}\n");
            Json(res, 200, MapScoresJson(ScoresOf(static_cast<int>(id), limit)));
        });
        server.Get("/api/uploads", [this](Req req, Res res) {
            const int limit = LimitParam(req, kLatestCount);
            if (limit == 0) return Json(res, 400, "{\"error\":\"limit must be a whole number from 1 to 100\"}\n");
            Json(res, 200, UploadsJson(store.Latest(limit)));
        });
        server.Get("/healthz", [this](Req, Res res) {
            if (store.Healthy()) PlainText(res, 200, "ok");
            else PlainText(res, 503, "database unavailable");
        });

        // Only GET and HEAD; a body that is not read ends the connection.
        server.set_pre_routing_handler([](Req req, Res res) {
            if (req.method == "GET" || req.method == "HEAD") return httplib::Server::HandlerResponse::Unhandled;
            res.set_header("Allow", "GET, HEAD");
            res.set_header("Connection", "close");
            PlainText(res, 405, "only GET and HEAD");
            if (tStream) tStream->SetCloseAfterResponse();
            return httplib::Server::HandlerResponse::Handled;
        });
        server.set_error_handler(httplib::Server::HandlerWithResponse([](Req, Res res) {
            if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
            if (res.status == 404) NotFound(res);
            else PlainText(res, res.status, "request refused (" + std::to_string(res.status) + ")");
            return httplib::Server::HandlerResponse::Handled;
        }));
        server.set_exception_handler([](Req, Res res, std::exception_ptr error) {
            std::string what = "unknown failure";
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                what = e.what();
            } catch (...) {
            }
            std::fprintf(stderr, "quillrun-scores: %s\n", what.c_str());
            PlainText(res, 503, "the score database is not available; try again later");
        });
        server.set_logger([this](Req req, const httplib::Response& res) {
            if (tStream && tStream->Aborted()) return;
            const double ms =
                tStream ? std::chrono::duration<double, std::milli>(Clock::now() - tStream->RequestStart()).count() : 0;
            log.Line(req.remote_addr, req.method + " " + req.target + " " + req.version, res.status,
                     req.method == "HEAD" ? 0 : res.body.size(), ms);
        });

        server.set_default_headers({{"Content-Security-Policy", kSecurityPolicy},
                                    {"X-Content-Type-Options", "nosniff"},
                                    {"Referrer-Policy", "no-referrer"},
                                    {"X-Frame-Options", "DENY"}});
        // Only SO_REUSEADDR: never share the port with another process.
        server.set_socket_options([](socket_t sock) {
            int yes = 1;
            ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        });
        server.set_keep_alive_max_count(1000);
        server.set_keep_alive_timeout(5);
        server.set_payload_max_length(64 * 1024);
        const size_t threads = static_cast<size_t>(std::max(2, options.threads));
        server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    }
};

ScoreFront::ScoreFront(ScoreStore& store, std::vector<std::string> mapNames, const FrontOptions& options,
                       std::FILE* log)
    : impl_(std::make_unique<Impl>(store, std::move(mapNames), options, log)) {}

ScoreFront::~ScoreFront() = default;

int ScoreFront::Bind(std::string* error) {
    const std::string& host = impl_->options.host;
    int port = impl_->options.port;
    if (port == 0) {
        port = impl_->server.bind_to_any_port(host);
    } else if (!impl_->server.bind_to_port(host, port)) {
        port = -1;
    }
    if (port < 0) {
        *error = "cannot listen on " + host + ":" + std::to_string(impl_->options.port) +
                 " (address in use, not local, or not allowed)";
        return -1;
    }
    // httplib listens with a short queue; many clients connect at once.
    ::listen(impl_->server.ListenSocket(), kListenBacklog);
    return port;
}

void ScoreFront::Serve() {
    if (!impl_->stopRequested) impl_->server.listen_after_bind();
}

void ScoreFront::Stop() {
    // As httplib's stop, but also before the accept loop has started.
    impl_->stopRequested = true;
    const socket_t sock = impl_->server.ListenSocket().exchange(INVALID_SOCKET);
    if (sock != INVALID_SOCKET) {
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
    }
}
