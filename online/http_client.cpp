// HTTP GET and POST through libcurl's multi interface, a TCP reachability
// test, and a look at the routing table.
// SPDX-License-Identifier: MIT
#include "online/http_client.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "base/regular_file.h"

namespace {

struct KeptBody {
    HttpAnswer* answer;
    size_t limit;
};

// Keeps the start of the body; the rest is read and dropped.
size_t KeepBodyStart(char* data, size_t size, size_t count, void* kept) {
    KeptBody& k = *static_cast<KeptBody*>(kept);
    std::string& body = k.answer->body;
    const size_t bytes = size * count;
    const size_t room = k.limit - std::min(k.limit, body.size());
    body.append(data, std::min(bytes, room));
    if (bytes > room) k.answer->bodyCut = true;
    return bytes;
}

void EnsureCurlReady() {
    static bool ready = false;
    if (!ready) {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        ready = true;
    }
}

// Both handles are released however the wait is left: the poll callback may
// end the program (the window closed during the wait) by unwinding.
struct MultiDeleter {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct EasyDeleter {
    void operator()(CURL* e) const { curl_easy_cleanup(e); }
};
struct EasyInMulti {
    CURLM* multi;
    CURL* easy;
};
struct EasyInMultiDeleter {
    void operator()(EasyInMulti* p) const {
        curl_multi_remove_handle(p->multi, p->easy);
        delete p;
    }
};

int64_t MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

struct AddrInfoDeleter {
    void operator()(addrinfo* a) const { freeaddrinfo(a); }
};

// One non-blocking connect attempt; true when it completes within waitMs.
bool ConnectWithin(const addrinfo* a, int waitMs) {
    int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) return false;
    bool ok = false;
    if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
        ok = true;
    } else if (errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        int r;
        do {
            r = ::poll(&p, 1, waitMs);
        } while (r < 0 && errno == EINTR);
        if (r > 0) {
            int error = 0;
            socklen_t length = sizeof error;
            ok = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
        }
    }
    ::close(fd);
    return ok;
}

}  // namespace

namespace {

// Runs a request set up on `e` until it ends or `limitMs` has passed.
HttpAnswer Perform(CURL* e, size_t keptBytes, long limitMs, void (*poll)()) {
    HttpAnswer answer;
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!multi) return answer;
    KeptBody kept{&answer, keptBytes};
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, KeepBodyStart);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &kept);
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, limitMs);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    if (curl_multi_add_handle(multi.get(), e) != CURLM_OK) return answer;
    std::unique_ptr<EasyInMulti, EasyInMultiDeleter> added(new EasyInMulti{multi.get(), e});

    const auto start = std::chrono::steady_clock::now();
    int running = 0;
    curl_multi_perform(multi.get(), &running);
    while (running > 0) {
        if (poll != nullptr) poll();
        // libcurl enforces the limit itself; this only guards against a
        // transfer that never reports its end.
        if (MillisecondsSince(start) > limitMs + 1000) {
            answer.timedOut = true;
            break;
        }
        curl_multi_poll(multi.get(), nullptr, 0, 10, nullptr);
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) break;
    }

    int queued = 0;
    while (CURLMsg* m = curl_multi_info_read(multi.get(), &queued)) {
        if (m->msg == CURLMSG_DONE && m->easy_handle == e) {
            long status = 0;
            curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
            if (m->data.result == CURLE_OK) answer.status = status;
            answer.timedOut = m->data.result == CURLE_OPERATION_TIMEDOUT;
        }
    }
    if (answer.status == 0) {
        answer.body.clear();
        answer.bodyCut = false;
    }
    return answer;
}

struct HeaderListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

}  // namespace

HttpAnswer HttpGetWhilePolling(const std::string& url, long limitMs, void (*poll)(), size_t keptBytes) {
    EnsureCurlReady();
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) return HttpAnswer{};
    curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_HTTPGET, 1L);
    return Perform(easy.get(), keptBytes, limitMs, poll);
}

HttpAnswer HttpPostWhilePolling(const std::string& url, std::string_view body, long limitMs, void (*poll)()) {
    EnsureCurlReady();
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    // No "Expect: 100-continue": the body goes at once, as the server
    // answers only after it.
    curl_slist* list = curl_slist_append(nullptr, "Content-Type: application/octet-stream");
    curl_slist* more = list != nullptr ? curl_slist_append(list, "Expect:") : nullptr;
    std::unique_ptr<curl_slist, HeaderListDeleter> headers(more != nullptr ? more : list);
    if (!easy || more == nullptr) return HttpAnswer{};
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_POST, 1L);
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
    return Perform(e, kKeptBodyBytes, limitMs, poll);
}

bool SplitHostPort(const std::string& hostPort, std::string* host, int* port) {
    std::string authority = hostPort.substr(0, hostPort.find('/'));
    std::string portText;
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        if (close == std::string::npos) return false;
        *host = authority.substr(1, close - 1);
        const std::string rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':') return false;
            portText = rest.substr(1);
        }
    } else {
        const size_t colon = authority.rfind(':');
        *host = authority.substr(0, colon);
        if (colon != std::string::npos) portText = authority.substr(colon + 1);
    }
    if (host->empty()) return false;
    *port = 80;
    if (!portText.empty()) {
        if (portText.size() > 5) return false;
        int value = 0;
        for (char c : portText) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + (c - '0');
        }
        if (value < 1 || value > 65535) return false;
        *port = value;
    }
    return true;
}

bool TcpReachable(const std::string& host, int port, int limitMs) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const auto start = std::chrono::steady_clock::now();
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) return false;
    std::unique_ptr<addrinfo, AddrInfoDeleter> list(found);
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        const int64_t left = limitMs - MillisecondsSince(start);
        if (left <= 0) return false;
        if (ConnectWithin(a, static_cast<int>(left))) return true;
    }
    return false;
}

bool HasNetworkRoute(const std::string& path) {
    std::string table;
    if (ReadRegularFile(path, 1 << 20, table) != FileRead::kOk) return false;
    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line);  // the column names
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string interface, destination, gateway, flags;
        if (!(fields >> interface >> destination >> gateway >> flags) || interface == "lo") continue;
        constexpr unsigned long kRouteUp = 0x1;  // RTF_UP
        char* end = nullptr;
        const unsigned long value = std::strtoul(flags.c_str(), &end, 16);
        if (end != flags.c_str() && *end == '\0' && (value & kRouteUp) != 0) return true;
    }
    return false;
}
