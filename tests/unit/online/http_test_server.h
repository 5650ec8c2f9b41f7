// A small HTTP server on 127.0.0.1 for the upload tests: it logs the request
// line of every request and answers "200 OK" (after an optional delay), or
// holds the connection open without answering.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace onlinetest {

// Requests to the test server go straight to 127.0.0.1, whatever proxy the
// environment names.
inline void ClearProxyEnvironment() {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        ::unsetenv(name);
}

class HttpTestServer {
public:
    // `answerDelayMs` before each answer; `silent` never answers.
    explicit HttpTestServer(int answerDelayMs = 0, bool silent = false)
        : delayMs_(answerDelayMs), silent_(silent) {
        ClearProxyEnvironment();
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = 0;
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listenFd_, 16);
        socklen_t len = sizeof a;
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }

    ~HttpTestServer() {
        stop_ = true;
        thread_.join();
        for (int fd : held_) ::close(fd);
        ::close(listenFd_);
    }

    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    int port() const { return port_; }
    std::string hostPort() const { return "127.0.0.1:" + std::to_string(port_); }

    std::vector<std::string> requestLines() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

private:
    void Serve() {
        while (!stop_) {
            pollfd p{listenFd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            std::string request;
            char buf[4096];
            while (request.find("\r\n\r\n") == std::string::npos && !stop_) {
                pollfd q{fd, POLLIN, 0};
                if (::poll(&q, 1, 20) <= 0) continue;
                ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0) break;
                request.append(buf, static_cast<size_t>(n));
            }
            const size_t end = request.find("\r\n");
            if (end != std::string::npos) {
                std::lock_guard<std::mutex> lock(mutex_);
                lines_.push_back(request.substr(0, end));
            }
            if (silent_) {
                held_.push_back(fd);
                continue;
            }
            if (delayMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
            static const char answer[] =
                "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 3\r\nConnection: close\r\n\r\nOK\n";
            ssize_t ignored = ::send(fd, answer, sizeof answer - 1, MSG_NOSIGNAL);
            (void)ignored;
            ::close(fd);
        }
    }

    int delayMs_;
    bool silent_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> lines_;
    std::vector<int> held_;
};

// A port on 127.0.0.1 on which nothing listens (bound once, then released).
inline int ClosedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

inline int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Percent-decoding as a server does it ('+' is left alone: the client always
// encodes it).
inline std::string PercentDecode(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The query of a request line "GET /path?query HTTP/1.1" as decoded
// key/value pairs, in order.
inline std::vector<std::pair<std::string, std::string>> QueryPairs(const std::string& requestLine) {
    std::vector<std::pair<std::string, std::string>> pairs;
    const size_t q = requestLine.find('?');
    const size_t sp = requestLine.rfind(' ');
    if (q == std::string::npos || sp == std::string::npos || sp < q) return pairs;
    const std::string query = requestLine.substr(q + 1, sp - q - 1);
    size_t start = 0;
    for (;;) {
        size_t amp = query.find('&', start);
        std::string part = query.substr(start, amp == std::string::npos ? std::string::npos : amp - start);
        size_t eq = part.find('=');
        pairs.emplace_back(PercentDecode(part.substr(0, eq)),
                           eq == std::string::npos ? std::string() : PercentDecode(part.substr(eq + 1)));
        if (amp == std::string::npos) break;
        start = amp + 1;
    }
    return pairs;
}

// Today's local date as the upload writes it.
inline std::string LocalDateText() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return text;
}

}  // namespace onlinetest
