// The network layer of the score upload: one HTTP GET through libcurl and a
// plain TCP reachability test.
#pragma once

#include <string>

// Sends a GET request for `url` and waits until the answer has arrived, the
// request has failed or `limitMs` milliseconds have passed. `poll` runs
// between two looks at the transfer (at least once per 10 ms while it is
// under way), so the caller can keep handling window events. The answer is
// read and thrown away. True when an HTTP answer arrived, whatever its status.
bool HttpGetWhilePolling(const std::string& url, long limitMs, void (*poll)());

// "host", "host:port", "[v6 address]" or "[v6 address]:port", optionally
// followed by a path, split into host and port (80 when none is given).
// False when no host or an invalid port is given.
bool SplitHostPort(const std::string& hostPort, std::string* host, int* port);

// True when a TCP connection to host:port opens within `limitMs`
// milliseconds (for all addresses of the host together).
bool TcpReachable(const std::string& host, int port, int limitMs);
