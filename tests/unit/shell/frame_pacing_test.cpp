// Frame pacing on the headless virtual clock: the wait jumps the clock to
// the first reading past the deadline, so every tick count below follows
// from the pacing rules alone.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "shell/game_state.h"
#include "shell/main_loop.h"

namespace {

class PaceFrameClock : public ::testing::Test {
protected:
    void SetUp() override {
        ResetGameState();
        HeadlessReset();  // clock at 1,000,000
    }
    // Calls PaceFrame until a new counting window opens; returns the calls made.
    int FramesUntilWindowOpens() {
        int32_t start = gs.secondStartTick;
        int calls = 0;
        while (gs.secondStartTick == start && calls < 10000) {
            PaceFrame();
            ++calls;
        }
        return calls;
    }
};

uint32_t Ahead(int32_t later, int32_t earlier) {
    return static_cast<uint32_t>(later) - static_cast<uint32_t>(earlier);
}

TEST_F(PaceFrameClock, FirstCallsAndTheStrictDeadline) {
    PaceFrame();
    // The first call opens a window at once and does not wait.
    EXPECT_EQ(HeadlessClock(), 1000000);
    EXPECT_EQ(gs.secondStartTick, 1000000);
    EXPECT_EQ(gs.fps, 0);
    EXPECT_EQ(gs.framesThisSecond, 1);
    EXPECT_EQ(gs.nextFrameTick, 1000014);  // even reading: +14
    PaceFrame();
    EXPECT_EQ(HeadlessClock(), 1000015);  // a reading equal to the deadline is not enough
    EXPECT_EQ(gs.nextFrameTick, 1000030);  // odd reading: +15
    PaceFrame();
    EXPECT_EQ(HeadlessClock(), 1000031);
    EXPECT_EQ(gs.nextFrameTick, 1000046);
    EXPECT_EQ(gs.framesThisSecond, 3);

    // Work past the deadline is not made up: the step counts from the end of
    // the latest wait.
    PlatformSleep(100);
    PaceFrame();
    EXPECT_EQ(HeadlessClock(), 1000131);
    EXPECT_EQ(gs.nextFrameTick, 1000146);
    HeadlessSetClock(1000146);
    PaceFrame();
    EXPECT_EQ(HeadlessClock(), 1000147);

    EXPECT_FALSE(TickPassed(1000146, 1000146));
    EXPECT_TRUE(TickPassed(1000147, 1000146));
    EXPECT_FALSE(TickPassed(1000100, 1000146));
}

TEST_F(PaceFrameClock, FpsCountsTheFramesOfEachWindow) {
    PaceFrame();
    // 16 ms per frame once the readings are odd: the window opened by the
    // first call closes on the 65th.
    EXPECT_EQ(FramesUntilWindowOpens(), 64);
    EXPECT_EQ(gs.secondStartTick, 1001007);
    EXPECT_EQ(gs.fps, 64);
    EXPECT_EQ(gs.framesThisSecond, 1);
    EXPECT_EQ(FramesUntilWindowOpens(), 63);
    EXPECT_EQ(gs.secondStartTick, 1002015);
    EXPECT_EQ(gs.fps, 63);

    // A stall makes one long window that holds the frames before it.
    for (int i = 0; i < 10; ++i) PaceFrame();
    EXPECT_EQ(gs.fps, 63);
    PlatformSleep(5000);
    PaceFrame();
    EXPECT_EQ(gs.fps, 11);
    EXPECT_EQ(gs.framesThisSecond, 1);
    PaceFrame();
    EXPECT_EQ(gs.fps, 11);
    EXPECT_EQ(gs.framesThisSecond, 2);
}

TEST_F(PaceFrameClock, SlowMotionOnlyDuringAReplay) {
    gs.slowMotion = kTrue;
    gs.replayMode = kTrue;
    PaceFrame();
    EXPECT_EQ(gs.nextFrameTick, 1000045);
    PaceFrame();
    EXPECT_EQ(HeadlessClock(), 1000046);
    EXPECT_EQ(gs.nextFrameTick, 1000091);

    gs.replayMode = kFalse;  // DOWN held during a run
    PaceFrame();
    EXPECT_EQ(HeadlessClock(), 1000092);
    EXPECT_EQ(gs.nextFrameTick, 1000106);

    gs.slowMotion = kFalse;
    gs.replayMode = kTrue;
    PaceFrame();
    EXPECT_EQ(HeadlessClock(), 1000107);
    EXPECT_EQ(gs.nextFrameTick, 1000122);

    gs.slowMotion = 1;  // any non-zero flag counts as set
    PaceFrame();
    EXPECT_EQ(gs.nextFrameTick, 1000123 + 45);
}

TEST_F(PaceFrameClock, KeepsItsPaceAcrossTheWrapOfTheTickCounter) {
    HeadlessSetClock(INT32_MAX - 1500);
    PaceFrame();
    EXPECT_EQ(gs.fps, 0);
    int32_t last = HeadlessClock();
    int windows = 0;
    for (int i = 0; i < 400; ++i) {
        int32_t windowStart = gs.secondStartTick;
        PaceFrame();
        int32_t now = HeadlessClock();
        uint32_t step = Ahead(now, last);
        EXPECT_TRUE(step == 15 || step == 16) << "step " << step << " at " << now;
        uint32_t next = Ahead(gs.nextFrameTick, now);
        EXPECT_TRUE(next == 14 || next == 15) << "deadline " << gs.nextFrameTick << " at " << now;
        if (gs.secondStartTick != windowStart) {
            ++windows;
            EXPECT_GE(Ahead(gs.secondStartTick, windowStart), 1000u);
            EXPECT_TRUE(gs.fps == 62 || gs.fps == 63 || gs.fps == 64) << gs.fps;
        }
        last = now;
    }
    EXPECT_LT(HeadlessClock(), 0);  // the counter did wrap
    EXPECT_GE(windows, 5);

    // The deadline just past the largest reading lies beyond the wrap.
    HeadlessSetClock(INT32_MAX - 20);
    gs.nextFrameTick = INT32_MAX - 1;
    PaceFrame();
    EXPECT_EQ(HeadlessClock(), INT32_MAX);
    EXPECT_EQ(gs.nextFrameTick, INT32_MIN + 14);
    PaceFrame();
    EXPECT_EQ(HeadlessClock(), INT32_MIN + 15);
    EXPECT_TRUE(TickPassed(INT32_MIN + 5, INT32_MAX - 5));
    EXPECT_FALSE(TickPassed(INT32_MAX - 5, INT32_MIN + 5));
}

TEST_F(PaceFrameClock, FirstDeadlineNeverStallsACounterThatReadsNegative) {
    HeadlessSetClock(INT32_MIN + 500);
    PaceFrame();
    EXPECT_EQ(HeadlessClock(), INT32_MIN + 500);  // no wait
    EXPECT_EQ(gs.secondStartTick, INT32_MIN + 500);
    EXPECT_EQ(gs.nextFrameTick, INT32_MIN + 514);
}

}  // namespace
