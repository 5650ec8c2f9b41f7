// Frame pacing on the headless virtual clock: the wait jumps the clock to the
// first reading past the deadline, so every figure follows from the rules.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "base/game_state.h"
#include "headless/headless.h"
#include "platform/platform.h"
#include "shell/main_loop.h"
#include "shell/run_start.h"

namespace {

TEST(FramePacing, DeadlineStepRoundsHalvesToEvenAcrossTheWrap) {
    const int32_t cases[][2] = {
        {600, 614}, {601, 616}, {-1, 14}, {INT32_MAX, INT32_MIN + 14}, {INT32_MAX - 1, INT32_MIN + 12}};
    for (const auto& c : cases) EXPECT_EQ(NextFrameDeadline(c[0]), c[1]) << c[0];
    EXPECT_FALSE(TickPassed(1000146, 1000146));  // equal is not past
    EXPECT_TRUE(TickPassed(1000147, 1000146));
    EXPECT_TRUE(TickPassed(INT32_MIN + 5, INT32_MAX - 5));
    EXPECT_FALSE(TickPassed(INT32_MAX - 5, INT32_MIN + 5));
}

TEST(FramePacing, WaitsPastTheDeadlineThenStepsFromTheReading) {
    constexpr int32_t kKeep = 0;
    struct Step { bool reset; int32_t setClock; int sleep; Flag slow, replay; int32_t clock, next; };
    // clang-format off
    const Step steps[] = {
        {true, kKeep, 0, 0, 0, 1000000, 1000014},   // the first call does not wait; even reading +14
        {false, kKeep, 0, 0, 0, 1000015, 1000030},  // odd reading +15
        {false, kKeep, 0, 0, 0, 1000031, 1000046},
        {false, kKeep, 100, 0, 0, 1000131, 1000146},  // late work is not made up
        {false, 1000146, 0, 0, 0, 1000147, 1000162},
        {true, kKeep, 0, kTrue, kTrue, 1000000, 1000045},  // slow motion only in a replay
        {false, kKeep, 0, kTrue, kTrue, 1000046, 1000091},
        {false, kKeep, 0, kTrue, kFalse, 1000092, 1000106},
        {false, kKeep, 0, kFalse, kTrue, 1000107, 1000122},
        {false, kKeep, 0, 1, kTrue, 1000123, 1000168},  // any non-zero flag counts
        {true, INT32_MAX - 15, 0, 0, 0, INT32_MAX - 15, INT32_MAX - 1},
        {false, kKeep, 0, 0, 0, INT32_MAX, INT32_MIN + 14},
        {false, kKeep, 0, 0, 0, INT32_MIN + 15, INT32_MIN + 30},
        {true, INT32_MIN + 500, 0, 0, 0, INT32_MIN + 500, INT32_MIN + 514},  // a negative first reading
    };
    // clang-format on
    int row = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(row++);
        if (s.reset) {
            ResetGameState();
            HeadlessReset();
        }
        if (s.setClock != kKeep) HeadlessSetClock(s.setClock);
        PlatformSleep(s.sleep);
        gs.slowMotion = s.slow;
        gs.replayMode = s.replay;
        PaceFrame();
        EXPECT_EQ(HeadlessClock(), s.clock);
        EXPECT_EQ(gs.nextFrameTick, s.next);
        EXPECT_TRUE(!s.reset || gs.secondStartTick == s.clock);
    }
}

}  // namespace
