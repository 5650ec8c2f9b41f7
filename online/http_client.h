// The network layer of the score upload: one HTTP GET through libcurl, a
// plain TCP reachability test, and whether the machine has a network at all.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>

// What came back for a GET request.
struct HttpAnswer {
    long status = 0;        // the HTTP status of a complete answer; 0 when none arrived
    bool timedOut = false;  // the time limit passed before the answer was complete
    std::string body;       // the start of the answer's body (at most kKeptBodyBytes)
};
constexpr size_t kKeptBodyBytes = 1024;

// Sends a GET request for `url` and waits until the answer has arrived, the
// request has failed or `limitMs` milliseconds have passed. `poll` runs
// between two looks at the transfer (at least once per 10 ms while it is
// under way), so the caller can keep handling window events.
HttpAnswer HttpGetWhilePolling(const std::string& url, long limitMs, void (*poll)());

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
