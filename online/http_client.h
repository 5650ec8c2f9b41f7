// The network layer of the score server's requests: HTTP GET and POST
// through libcurl, a plain TCP reachability test, and whether the machine
// has a network at all.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// What came back for a request.
struct HttpAnswer {
    long status = 0;        // the HTTP status of a complete answer; 0 when none arrived
    bool timedOut = false;  // the time limit passed before the answer was complete
    bool bodyCut = false;   // the body was longer than the part kept
    std::string body;       // the start of the answer's body (at most the bytes asked for)
};
constexpr size_t kKeptBodyBytes = 1024;

// Sends a GET request for `url` and waits until the answer has arrived, the
// request has failed or `limitMs` milliseconds have passed. `poll` runs
// between two looks at the transfer (at least once per 10 ms while it is
// under way), so the caller can keep handling window events. The first
// `keptBytes` of the body are kept, the rest is read and dropped.
HttpAnswer HttpGetWhilePolling(const std::string& url, long limitMs, void (*poll)(),
                               size_t keptBytes = kKeptBodyBytes);

// The same for a POST of `body` as application/octet-stream.
HttpAnswer HttpPostWhilePolling(const std::string& url, std::string_view body, long limitMs, void (*poll)());

// "host", "host:port", "[v6 address]" or "[v6 address]:port", optionally
// followed by a path, split into host and port (80 when none is given).
// False when no host or an invalid port is given.
bool SplitHostPort(const std::string& hostPort, std::string* host, int* port);

// True when a TCP connection to host:port opens within `limitMs`
// milliseconds (for all addresses of the host together).
bool TcpReachable(const std::string& host, int port, int limitMs);

// True when the routing table at `path` (the format of /proc/net/route)
// holds a route that is up on an interface other than loopback: the machine
// is on some network. False when the table cannot be read.
bool HasNetworkRoute(const std::string& path);
