// A small HTTP server on 127.0.0.1 for the upload tests: it logs the request
// line of every request and answers "200 OK", after an optional delay.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace onlinetest {

// A socket on a free port of 127.0.0.1, bound; listening when asked.
inline int BoundSocket(int* port, bool listening) {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) ::unsetenv(name);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), len);
    if (listening) ::listen(fd, 16);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    *port = ntohs(a.sin_port);
    return fd;
}

// A port on which nothing listens (bound once, then released).
inline int ClosedPort() { int port = 0; ::close(BoundSocket(&port, false)); return port; }

struct HttpTestServer {
    explicit HttpTestServer(int answerDelayMs = 0) : delayMs(answerDelayMs), fd(BoundSocket(&port, true)) {}
    ~HttpTestServer() {
        stop = true;
        thread.join();
        for (std::thread& t : clients) t.join();
        ::close(fd);
    }
    std::string hostPort() const { return "127.0.0.1:" + std::to_string(port); }
    std::vector<std::string> requestLines() {
        std::lock_guard<std::mutex> lock(mutex);
        return lines;
    }
    // Each connection is answered on its own thread, as a real server would:
    // a client may open a second request before it sends the first.
    void Serve() {
        for (pollfd p{fd, POLLIN, 0}; !stop;) {
            if (::poll(&p, 1, 20) <= 0) continue;
            const int client = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) clients.emplace_back([this, client] { Answer(client); });
        }
    }
    void Answer(int client) {
        std::string request;
        char buf[4096];
        for (ssize_t n = 1; n > 0 && request.find("\r\n\r\n") == std::string::npos;) {
            n = ::recv(client, buf, sizeof buf, 0);
            request.append(buf, n > 0 ? static_cast<size_t>(n) : 0);
        }
        if (request.find("\r\n") != std::string::npos) {
            std::lock_guard<std::mutex> lock(mutex);
            lines.push_back(request.substr(0, request.find("\r\n")));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        static const char kAnswer[] = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\nOK\n";
        (void)!::send(client, kAnswer, sizeof kAnswer - 1, MSG_NOSIGNAL);
        ::close(client);
    }
    int delayMs, port = 0, fd;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::vector<std::string> lines;
    std::vector<std::thread> clients;  // touched by the serving thread only, until it is joined
    std::thread thread{[this] { Serve(); }};
};

// The query of "GET /path?query HTTP/1.1" as percent-decoded pairs, in order.
inline std::vector<std::pair<std::string, std::string>> QueryPairs(const std::string& requestLine) {
    auto decode = [](std::string s) {
        for (size_t i = s.find('%'); i != std::string::npos && i + 2 < s.size(); i = s.find('%', i + 1))
            s.replace(i, 3, 1, static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16)));
        return s;
    };
    std::vector<std::pair<std::string, std::string>> pairs;
    const size_t q = requestLine.find('?'), end = requestLine.rfind(' ');
    for (size_t at = q + 1; q != std::string::npos && at < end;) {
        const size_t amp = std::min(requestLine.find('&', at), end), eq = requestLine.find('=', at);
        pairs.emplace_back(decode(requestLine.substr(at, std::min(eq, amp) - at)),
                           eq < amp ? decode(requestLine.substr(eq + 1, amp - eq - 1)) : "");
        at = amp + 1;
    }
    return pairs;
}

// Today's local date as the upload writes it.
inline std::string LocalDateText() {
    const std::time_t now = std::time(nullptr);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", std::localtime(&now));
    return text;
}

}  // namespace onlinetest
