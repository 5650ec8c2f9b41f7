// The tick counter and the frame pacer's wait of the window build, with the
// low-power variant and the optional log of frame intervals.
// SPDX-License-Identifier: MIT
#include "window/pacing.h"

#include <sys/prctl.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace {
bool lowPower = false;

constexpr int kBuckets = 64;  // intervals of 0..62 ms, the last one counts the rest
struct PacingLog {
    bool on = false;
    bool started = false;
    int32_t lastReturn = 0;
    long intervals[kBuckets] = {};
    long lateness[kBuckets] = {};  // return reading minus deadline
};
PacingLog pacingLog;

uint64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

int Bucket(int32_t ms) { return ms < 0 ? kBuckets - 1 : ms < kBuckets - 1 ? ms : kBuckets - 1; }

void Count(int32_t deadline, int32_t now) {
    if (!pacingLog.on) return;
    if (pacingLog.started) pacingLog.intervals[Bucket(now - pacingLog.lastReturn)] += 1;
    pacingLog.lateness[Bucket(now - deadline)] += 1;
    pacingLog.started = true;
    pacingLog.lastReturn = now;
}

void SleepUntil(uint64_t ns) {
    const timespec ts{static_cast<time_t>(ns / 1000000000u), static_cast<long>(ns % 1000000000u)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) != 0) {
    }
}

// Sleeps until about 2 ms before the first millisecond past the deadline;
// the rest is left to the polling.
void SleepNearDeadline(int32_t deadline) {
    const uint64_t now = NowNs();
    const int32_t reading = static_cast<int32_t>(static_cast<uint32_t>(now / 1000000u));
    if (TickPassed(reading, deadline)) return;
    const uint32_t ahead = static_cast<uint32_t>(deadline) - static_cast<uint32_t>(reading);
    const uint64_t firstPast = (now / 1000000u + ahead + 1u) * 1000000u;
    if (firstPast > now + 2000000u) SleepUntil(firstPast - 2000000u);
}

// The tick reading can only change on a whole millisecond of the clock it
// is read from, so the polling naps until the next one: two or three
// wake-ups a frame instead of one every 0.1 ms.
void NapToNextTick() { SleepUntil((NowNs() / 1000000u + 1u) * 1000000u); }
}  // namespace

void SetLowPowerPacing(bool on) {
    lowPower = on;
    // Wake on the millisecond itself, not up to 0.05 ms (the default slack)
    // after it.
    if (on) prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0);
}

int32_t PlatformTickCount() {
    const uint64_t ms = NowNs() / 1000000u;
    return static_cast<int32_t>(static_cast<uint32_t>(ms));
}

int32_t PlatformWaitTickAfter(int32_t deadline) {
    static const bool logging = [] {
        const char* path = std::getenv("QUILLRUN_PACING_LOG");
        pacingLog.on = path != nullptr && *path != '\0';
        return pacingLog.on;
    }();
    (void)logging;
    if (lowPower) SleepNearDeadline(deadline);
    // Otherwise a busy wait by design: sleeping would coarsen the frame steps.
    for (;;) {
        const int32_t now = PlatformTickCount();
        if (TickPassed(now, deadline)) {
            Count(deadline, now);
            return now;
        }
        if (lowPower) NapToNextTick();
    }
}

void WritePacingLog() {
    const char* path = std::getenv("QUILLRUN_PACING_LOG");
    if (!pacingLog.on || path == nullptr) return;
    FILE* f = std::fopen(path, "w");
    if (f == nullptr) return;
    std::fprintf(f, "# ms interval-count lateness-count (%d and more in the last row)\n", kBuckets - 1);
    for (int i = 0; i < kBuckets; ++i) std::fprintf(f, "%d %ld %ld\n", i, pacingLog.intervals[i], pacingLog.lateness[i]);
    std::fclose(f);
}
