// The HTTP front on Boost.Asio, with Boost.Beast's parser for the fields of a
// request head. One thread runs the event loop: it waits for a connection to
// become readable and only then reads, into one buffer shared by all, so an
// idle connection holds a socket and a timer and nothing else. A head is
// checked byte by byte (RequestHead) before the parser sees it; a run's body is
// read by the loop too, within its size and time; a request read whole goes to
// the pool of threads and its answer comes back to the loop.
// SPDX-License-Identifier: MIT
#include "server/http_front.h"

#include <sys/resource.h>

#include <utility>  // before Asio, whose C++20 parts use std::exchange without it

#include <boost/asio.hpp>
#include <boost/beast/http.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <limits>
#include <list>
#include <unordered_map>
#include <unordered_set>

#include "server/log_queue.h"
#include "server/request_head.h"
#include "server/score_routes.h"

namespace asio = boost::asio;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;
using boost::system::error_code;

namespace {

constexpr size_t kMaxRequestLine = 8192;
constexpr size_t kMaxHeaderBlock = 8192;
constexpr int kListenBacklog = 4096;
constexpr size_t kReservedFiles = 64;             // the database, the log, the listening socket ...
constexpr auto kLingerTime = std::chrono::seconds(1);  // reading what a closed connection still sends
constexpr size_t kLingerBytes = 1 << 20;
constexpr auto kDrainGrace = std::chrono::seconds(1);  // a connection's first request, after a stop
constexpr size_t kMaxBodyBytesHeld = 256 << 20;        // runs being read and answered, all connections together

constexpr const char* kCommonHeaders =
    "Content-Security-Policy: default-src 'none'; style-src 'self'; img-src 'self'; base-uri 'none'; "
    "form-action 'none'; frame-ancestors 'none'\r\n"
    "X-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\nX-Frame-Options: DENY\r\n";

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

std::string Serialize(const HttpAnswer& a, bool headOnly, bool keepAlive, bool http10) {
    std::string s;
    s.reserve(512 + (headOnly ? 0 : a.body.size()));
    s += "HTTP/1.1 " + std::to_string(a.status) + " " + StatusText(a.status) + "\r\nContent-Type: " + a.contentType +
         "\r\nContent-Length: " + std::to_string(a.body.size()) + "\r\n";
    for (const auto& [name, value] : a.headers) s += name + ": " + value + "\r\n";
    s += kCommonHeaders;
    if (!keepAlive) s += "Connection: close\r\n";
    else if (http10) s += "Connection: keep-alive\r\n";
    s += "\r\n";
    if (!headOnly) s += a.body;
    return s;
}

// The connections the open-file limit leaves room for.
int ConnectionsAllowed() {
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0) return 1024 - static_cast<int>(kReservedFiles);
    // The soft limit is raised as far as the hard one allows.
    if (files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
        ::getrlimit(RLIMIT_NOFILE, &files);
    }
    const rlim_t usable = std::min<rlim_t>(files.rlim_cur, 1 << 20);
    return static_cast<int>(usable > kReservedFiles * 2 ? usable - kReservedFiles : usable / 2);
}

}  // namespace

struct Connection;

struct ScoreFront::Impl {
    ScoreRoutes routes;
    const FrontOptions options;
    LogQueue& log;
    size_t maxConnections;
    asio::io_context io;
    tcp::acceptor acceptor{io};
    std::unique_ptr<asio::thread_pool> workers;
    std::array<char, 65536> readBuffer;  // each read is used up before the next

    // Connections waiting for a request, the longest waiting first: all, and
    // per client address.
    struct Client {
        size_t open = 0;
        std::list<Connection*> idle;
    };
    std::list<Connection*> idle;
    std::unordered_map<std::string, Client> clients;
    std::unordered_set<Connection*> all;
    bool draining = false;
    asio::steady_timer drainTimer{io};
    size_t bodyBytesHeld = 0;

    Impl(ScoreStore& store, std::vector<std::string> names, const FrontOptions& o, LogQueue& l,
         std::function<void()> runStored)
        : routes(store, std::move(names), o.rateLimit, o.maxPending, std::move(runStored)), options(o), log(l) {
        const size_t allowed = static_cast<size_t>(ConnectionsAllowed());
        maxConnections = o.maxConnections > 0 ? std::min(allowed, static_cast<size_t>(o.maxConnections)) : allowed;
    }

    void Accept();
    void Admit(tcp::socket socket);
    void BeginDrain();
    void Forget(Connection* c);
};

struct Connection : std::enable_shared_from_this<Connection> {
    enum class Phase { Idle, Head, Body, Handling, Writing, Lingering, Closed };

    ScoreFront::Impl& front;
    tcp::socket socket;
    asio::steady_timer timer;
    const std::string client;
    Phase phase = Phase::Idle;
    RequestHead head{kMaxRequestLine, kMaxHeaderBlock};
    std::string in;        // bytes read and not yet used
    size_t scanned = 0;    // of them, those the head has seen
    std::string out;       // the answer being written
    std::string logged;    // the request line for the log
    int status = 0;
    size_t bodyBytes = 0, lingered = 0;
    size_t runBytes = 0;   // the body of the run being read, counted in front.bodyBytesHeld
    std::string runQuery;
    bool http10 = false;
    unsigned served = 0, timerRound = 0;
    bool keepAlive = false;
    Clock::time_point start;
    std::list<Connection*>::iterator idleAt, clientIdleAt;
    bool listedIdle = false;

    Connection(ScoreFront::Impl& f, tcp::socket s, std::string address)
        : front(f), socket(std::move(s)), timer(f.io), client(std::move(address)) {}

    void Start() {
        BecomeIdle(front.draining ? kDrainGrace : std::chrono::seconds(front.options.idleTimeoutSeconds));
        WaitRead();
    }

    void BecomeIdle(Clock::duration wait) {
        phase = Phase::Idle;
        front.idle.push_back(this);
        idleAt = std::prev(front.idle.end());
        auto& mine = front.clients[client].idle;
        mine.push_back(this);
        clientIdleAt = std::prev(mine.end());
        listedIdle = true;
        Arm(wait);
    }

    void LeaveIdle() {
        if (!listedIdle) return;
        front.idle.erase(idleAt);
        front.clients[client].idle.erase(clientIdleAt);
        listedIdle = false;
    }

    void Arm(Clock::duration wait) {
        timer.expires_after(wait);
        timer.async_wait([self = shared_from_this(), round = ++timerRound](error_code ec) {
            if (!ec && round == self->timerRound) self->TimedOut();
        });
    }

    void TimedOut() {
        switch (phase) {
            case Phase::Head: return Refuse(408, "the request took too long");
            case Phase::Body: return Refuse(408, "the run took too long to arrive");
            case Phase::Handling: return;
            default: return Close();
        }
    }

    void WaitRead() {
        socket.async_wait(tcp::socket::wait_read, [self = shared_from_this()](error_code ec) { self->Readable(ec); });
    }

    void Readable(error_code ec) {
        if (phase == Phase::Closed) return;
        if (ec) return Close();
        const size_t n = socket.read_some(asio::buffer(front.readBuffer), ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again) return WaitRead();
        if (ec || n == 0) return Close();  // a request cut off halfway has nobody to answer
        if (phase == Phase::Lingering) {
            lingered += n;
            return lingered > kLingerBytes ? Close() : WaitRead();
        }
        in.append(front.readBuffer.data(), n);
        Process();
    }

    // Follows the bytes read until the head is whole, and a run's body after
    // it; what follows stays for the next request.
    void Process() {
        if (phase == Phase::Body) return in.size() < runBytes ? WaitRead() : HandleRun();
        if (phase == Phase::Idle) {
            if (in.empty()) return WaitRead();
            LeaveIdle();
            phase = Phase::Head;
            start = Clock::now();
            logged.clear();
            head.Reset();
            scanned = 0;
            Arm(std::chrono::seconds(front.options.headTimeoutSeconds));
        }
        const bool inLine = !head.InHeaders() && !head.Ended();
        size_t used = 0;
        if (const int refusal = head.Scan(in.data() + scanned, in.size() - scanned, &used)) {
            return Refuse(refusal, refusal == 414   ? "the request line is too long"
                                   : refusal == 431 ? "the headers are too long"
                                                    : "each line must end with CRLF and no header line may be folded");
        }
        scanned += used;
        if (inLine && head.InHeaders()) Arm(std::chrono::seconds(front.options.headTimeoutSeconds));
        if (!head.Ended()) return WaitRead();
        Dispatch();
    }

    void Dispatch() {
        http::request_parser<http::empty_body> parser;
        parser.header_limit(static_cast<std::uint32_t>(kMaxRequestLine + kMaxHeaderBlock + 4));
        parser.body_limit(std::numeric_limits<std::uint64_t>::max());  // a run's length is checked below
        parser.eager(false);
        error_code ec;
        parser.put(asio::buffer(in.data(), scanned), ec);
        in.erase(0, scanned);
        scanned = 0;
        if (ec || !parser.is_header_done()) {
            const std::string& line = head.RequestLine();
            const size_t version = line.rfind(" HTTP/");
            if (version != std::string::npos && line.compare(version, 8, " HTTP/1.") != 0)
                return Refuse(505, "only HTTP/1.0 and HTTP/1.1 are served");
            return Refuse(400, "malformed request head (" + ec.message() + ")");
        }
        const auto& req = parser.get();
        const std::string method(req.method_string());
        std::string target(req.target());
        logged = method + " " + target + (req.version() == 10 ? " HTTP/1.0" : " HTTP/1.1");
        if (req.version() != 10 && req.version() != 11) return Refuse(505, "only HTTP/1.0 and HTTP/1.1 are served");
        // The absolute form, which a server must take too, names the same path.
        if (target.rfind("http://", 0) == 0 || target.rfind("https://", 0) == 0) {
            const size_t path = target.find('/', target.find("//") + 2);
            target = path == std::string::npos ? "/" : target.substr(path);
        }
        const bool run = method == "POST" && target.substr(0, target.find('?')) == kRunsPath;
        if (method != "GET" && method != "HEAD" && !run)
            return Refuse(405, "only GET and HEAD", {{"Allow", "GET, HEAD"}});
        if (req.count(http::field::host) > 1 || (req.version() == 11 && req.count(http::field::host) == 0))
            return Refuse(400, "an HTTP/1.1 request needs one Host header");
        if (run) {
            if (req.count(http::field::transfer_encoding) > 0)
                return Refuse(400, "a run is sent with Content-Length, without Transfer-Encoding");
            if (!parser.content_length()) return Refuse(411, "a run needs Content-Length");
            if (*parser.content_length() > kMaxRunBytes) return Refuse(413, "a run is at most 4194304 bytes");
            if (front.bodyBytesHeld + *parser.content_length() > kMaxBodyBytesHeld)
                return Refuse(503, "too many runs are arriving; try again later", {{"Retry-After", "10"}});
        } else if (req.count(http::field::transfer_encoding) > 0 || parser.content_length().value_or(0) > 0) {
            return Refuse(400, "a GET or HEAD request has no body");
        }
        if (target.empty() || target[0] != '/') return Refuse(400, "the target must be a path");

        const bool headOnly = method == "HEAD";
        http10 = req.version() == 10;
        keepAlive = req.keep_alive();
        if (run) {
            runBytes = static_cast<size_t>(*parser.content_length());
            front.bodyBytesHeld += runBytes;
            const size_t q = target.find('?');
            runQuery = q == std::string::npos ? std::string() : target.substr(q + 1);
            phase = Phase::Body;
            Arm(std::chrono::seconds(front.options.bodyTimeoutSeconds));
            // A client that waits for leave to send (curl does for a large
            // body) gets it at once. The answers before were all written, so
            // these few bytes go out whole.
            const auto expect = req.find(http::field::expect);
            if (!http10 && expect != req.end() && boost::beast::iequals(expect->value(), "100-continue") &&
                in.size() < runBytes) {
                static constexpr char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
                socket.write_some(asio::buffer(kContinue, sizeof kContinue - 1), ec);
            }
            return Process();
        }
        phase = Phase::Handling;
        ++timerRound;  // the head's time no longer counts
        timer.cancel();
        asio::post(*front.workers, [self = shared_from_this(), headOnly, target]() mutable {
            HttpAnswer answer = self->front.routes.Answer(headOnly, target, self->client);
            auto& io = self->front.io;
            asio::post(io, [self = std::move(self), answer = std::move(answer), headOnly] {
                self->Write(answer, headOnly, self->http10);
            });
        });
    }

    // A run's body is in: the store takes it on a thread of the pool.
    void HandleRun() {
        std::string body = in.substr(0, runBytes);
        in.erase(0, runBytes);
        phase = Phase::Handling;
        ++timerRound;  // the body's time no longer counts
        timer.cancel();
        asio::post(*front.workers, [self = shared_from_this(), body = std::move(body)]() mutable {
            HttpAnswer answer = self->front.routes.AnswerRun(self->runQuery, body, self->client);
            std::string().swap(body);
            auto& io = self->front.io;
            asio::post(io, [self = std::move(self), answer = std::move(answer)] {
                self->ReleaseBody();
                self->Write(answer, false, self->http10);
            });
        });
    }

    void ReleaseBody() {
        front.bodyBytesHeld -= runBytes;
        runBytes = 0;
    }

    void Write(const HttpAnswer& answer, bool headOnly, bool http10) {
        if (phase == Phase::Closed) return;
        keepAlive = keepAlive && !front.draining;
        out = Serialize(answer, headOnly, keepAlive, http10);
        status = answer.status;
        bodyBytes = headOnly ? 0 : answer.body.size();
        phase = Phase::Writing;
        Arm(std::chrono::seconds(front.options.writeTimeoutSeconds));
        asio::async_write(socket, asio::buffer(out), [self = shared_from_this()](error_code ec, size_t) {
            self->Written(ec);
        });
    }

    void Written(error_code ec) {
        if (phase == Phase::Closed) return;
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        char tail[96];
        std::snprintf(tail, sizeof tail, "\" %d %zu %.3fms", status, bodyBytes, ms);
        front.log.Line(UtcText("%Y-%m-%dT%H:%M:%S", true) + " " + client + " \"" + LogSafe(logged) + tail);
        std::string().swap(out);
        if (ec) return Close();
        if (!keepAlive) return Linger();
        ++served;
        if (front.draining && in.empty()) return Linger();  // stopped while this answer went out
        BecomeIdle(std::chrono::seconds(front.options.idleTimeoutSeconds));
        Process();
    }

    // Answers a request that cannot be served and ends the connection.
    void Refuse(int code, const std::string& reason, std::vector<std::pair<std::string, std::string>> headers = {}) {
        if (logged.empty()) {
            logged = head.RequestLine();
            if (logged.size() >= RequestHead::kLoggedLine) logged += "...";
        }
        HttpAnswer answer = PlainText(code, reason);
        answer.headers.insert(answer.headers.end(), headers.begin(), headers.end());
        keepAlive = false;
        ++timerRound;
        ReleaseBody();
        Write(answer, false, false);
    }

    // Stops sending and reads what the client still sends for a moment, so
    // that the answer is not lost to a reset.
    void Linger() {
        LeaveIdle();
        phase = Phase::Lingering;
        error_code ec;
        socket.shutdown(tcp::socket::shutdown_send, ec);
        std::string().swap(in);
        Arm(kLingerTime);
        WaitRead();
    }

    void Close() {
        if (phase == Phase::Closed) return;
        LeaveIdle();
        if (phase != Phase::Handling) ReleaseBody();  // a run being stored is released when answered
        phase = Phase::Closed;
        ++timerRound;
        timer.cancel();
        error_code ec;
        socket.close(ec);
        front.Forget(this);
    }
};

void ScoreFront::Impl::Forget(Connection* c) {
    all.erase(c);
    auto it = clients.find(c->client);
    if (it != clients.end() && --it->second.open == 0) clients.erase(it);
    if (draining && all.empty()) drainTimer.cancel();
}

void ScoreFront::Impl::Accept() {
    acceptor.async_accept([this](error_code ec, tcp::socket socket) {
        if (!ec) Admit(std::move(socket));  // also when a stop came after it was accepted
        if (acceptor.is_open()) Accept();
    });
}

// Takes a new connection within the limits: when a limit is reached the
// connection that has waited longest for a request makes room; when none
// waits, the new one is closed at once.
void ScoreFront::Impl::Admit(tcp::socket socket) {
    error_code ec;
    const tcp::endpoint peer = socket.remote_endpoint(ec);
    if (ec) return;
    asio::ip::address address = peer.address();
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    const std::string client = address.to_string();
    if (auto it = clients.find(client);
        it != clients.end() && it->second.open >= static_cast<size_t>(options.maxPerClient) && !it->second.idle.empty())
        it->second.idle.front()->Close();
    if (all.size() >= maxConnections && !idle.empty()) idle.front()->Close();
    auto it = clients.find(client);
    if (all.size() >= maxConnections ||
        (it != clients.end() && it->second.open >= static_cast<size_t>(options.maxPerClient))) {
        socket.close(ec);
        return;
    }
    socket.set_option(tcp::no_delay(true), ec);
    socket.non_blocking(true, ec);  // reads happen only once the socket is readable
    auto connection = std::make_shared<Connection>(*this, std::move(socket), client);
    all.insert(connection.get());
    ++clients[client].open;
    connection->Start();
}

// After a stop: the connections already waiting to be accepted are taken,
// nothing more; each request begun is answered with "Connection: close";
// connections that wait for another request go at once, new ones get a
// moment for their first.
void ScoreFront::Impl::BeginDrain() {
    if (draining) return;
    draining = true;
    error_code ec;
    if (acceptor.is_open()) {
        acceptor.non_blocking(true, ec);
        for (;;) {
            tcp::socket socket(io);
            acceptor.accept(socket, ec);
            if (ec) break;
            Admit(std::move(socket));
        }
        acceptor.close(ec);
    }
    const std::vector<Connection*> waiting(idle.begin(), idle.end());
    for (Connection* c : waiting) {
        if (c->served > 0 && c->socket.available(ec) == 0) c->Close();
        else c->Arm(kDrainGrace);
    }
    if (all.empty()) return;
    drainTimer.expires_after(std::chrono::seconds(options.drainSeconds));
    drainTimer.async_wait([this](error_code e) {
        if (e) return;
        const std::vector<Connection*> left(all.begin(), all.end());
        for (Connection* c : left) c->Close();
    });
}

ScoreFront::ScoreFront(ScoreStore& store, std::vector<std::string> mapNames, const FrontOptions& options,
                       LogQueue& log, std::function<void()> runStored)
    : impl_(std::make_unique<Impl>(store, std::move(mapNames), options, log, std::move(runStored))) {}

ScoreFront::~ScoreFront() = default;

int ScoreFront::Bind(std::string* error) {
    Impl& f = *impl_;
    error_code ec;
    tcp::resolver resolver(f.io);
    const auto found = resolver.resolve(f.options.host, std::to_string(f.options.port),
                                        tcp::resolver::numeric_service | tcp::resolver::passive, ec);
    for (const auto& entry : found) {
        f.acceptor.close(ec);
        f.acceptor.open(entry.endpoint().protocol(), ec);
        if (ec) continue;
        // Only SO_REUSEADDR: never share the port with another process.
        f.acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
        f.acceptor.bind(entry.endpoint(), ec);
        if (!ec) f.acceptor.listen(kListenBacklog, ec);
        if (!ec) return f.acceptor.local_endpoint().port();
    }
    f.acceptor.close(ec);
    *error = "cannot listen on " + f.options.host + ":" + std::to_string(f.options.port) +
             " (address in use, not local, or not allowed)";
    return -1;
}

void ScoreFront::Serve() {
    Impl& f = *impl_;
    f.workers = std::make_unique<asio::thread_pool>(static_cast<size_t>(std::max(2, f.options.threads)));
    if (f.acceptor.is_open()) f.Accept();
    f.io.run();
    f.workers->join();
}

void ScoreFront::Stop() {
    asio::post(impl_->io, [f = impl_.get()] { f->BeginDrain(); });
}
