// The per-address upload budget.
// SPDX-License-Identifier: MIT
#include "server/rate_limiter.h"

#include <algorithm>

bool RateLimiter::Allow(const std::string& client, Clock::time_point now) {
    if (perMinute_ <= 0) return true;
    const double perSecond = perMinute_ / 60.0;
    std::lock_guard<std::mutex> lock(mutex_);
    // Full buckets say nothing: forget them once a minute, so the table
    // stays as small as the set of recent clients.
    if (now - lastSweep_ > std::chrono::minutes(1)) {
        for (auto it = buckets_.begin(); it != buckets_.end();) {
            const double seconds = std::chrono::duration<double>(now - it->second.last).count();
            if (it->second.tokens + seconds * perSecond >= perMinute_) it = buckets_.erase(it);
            else ++it;
        }
        lastSweep_ = now;
    }
    auto [it, fresh] = buckets_.try_emplace(client, Bucket{static_cast<double>(perMinute_), now});
    Bucket& b = it->second;
    if (!fresh) {
        const double seconds = std::chrono::duration<double>(now - b.last).count();
        b.tokens = std::min<double>(perMinute_, b.tokens + std::max(0.0, seconds) * perSecond);
        b.last = now;
    }
    if (b.tokens < 1.0) return false;
    b.tokens -= 1.0;
    return true;
}
