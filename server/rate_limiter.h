// How many uploads a client address may send: a bucket of `perMinute`
// uploads per address that refills evenly over a minute.
// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

class RateLimiter {
public:
    using Clock = std::chrono::steady_clock;

    // 0 means no limit.
    explicit RateLimiter(int perMinute) : perMinute_(perMinute) {}

    // True when `client` may send one more upload at `now` (and counts it).
    bool Allow(const std::string& client, Clock::time_point now = Clock::now());

private:
    struct Bucket {
        double tokens;
        Clock::time_point last;
    };
    const int perMinute_;
    std::mutex mutex_;
    std::unordered_map<std::string, Bucket> buckets_;
    Clock::time_point lastSweep_{};
};
