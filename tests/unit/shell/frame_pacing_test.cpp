// Frame pacing on the headless virtual clock: the wait jumps the clock to the
// first reading past the deadline, so every figure follows from the rules.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "base/game_state.h"
#include "gfx/surface.h"
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

// Calls PaceFrame until a new counting window opens; returns the calls made.
int FramesUntilWindowOpens() {
    int calls = 0;
    for (const int32_t start = gs.secondStartTick; gs.secondStartTick == start && calls < 10000; ++calls) PaceFrame();
    return calls;
}

TEST(FramePacing, FpsCountsEachWindowAlsoAcrossTheWrap) {
    ResetGameState();
    HeadlessReset();
    PaceFrame();
    EXPECT_EQ(FramesUntilWindowOpens(), 64);  // 16 ms a frame
    EXPECT_EQ(gs.secondStartTick, 1001007);
    EXPECT_EQ(gs.fps, 64);
    EXPECT_EQ(FramesUntilWindowOpens(), 63);
    EXPECT_EQ(gs.fps, 63);
    for (int i = 0; i < 10; ++i) PaceFrame();
    PlatformSleep(5000);  // a stall makes one long window
    PaceFrame();
    EXPECT_EQ(gs.fps, 11);
    EXPECT_EQ(gs.framesThisSecond, 1);

    HeadlessSetClock(INT32_MAX - 1500);
    FramesUntilWindowOpens();  // the jump closes the stalled window
    for (int w = 0; w < 5; ++w) {
        const int32_t start = gs.secondStartTick;
        const int frames = FramesUntilWindowOpens();
        EXPECT_TRUE(gs.fps >= 62 && gs.fps <= 64 && frames == gs.fps) << gs.fps << " " << frames;
        EXPECT_GE(static_cast<uint32_t>(gs.secondStartTick) - static_cast<uint32_t>(start), 1000u);
    }
    EXPECT_LT(HeadlessClock(), 0);  // the counter did wrap
}

// A map whose column 30 is open from `top` to just above `rock`.
void StartOn(int top, int rock, int height) {
    ResetGameState();
    gs.mapSurface = CreateSurface(700, height);
    FillSurface(gs.mapSurface, 0x808080);
    for (int y = top; y < rock && y < height; ++y) SetPixel(gs.mapSurface, 30, y, 0);
    StartRun();
}

TEST(StartRun, StartHeightComesFromTheOpenRowsOfTheStartColumn) {
    struct { int top, rock, height; float shipY; } cases[] = {{50, 120, 200, 106}, {80, 200, 200, 176}, {80, 201, 201, 76}};  // row 200 reads as rock
    for (const auto& c : cases) {
        StartOn(c.top, c.rock, c.height);
        EXPECT_EQ(gs.shipY, c.shipY) << c.top << ".." << c.rock;
    }
    ResetGameState();  // no map surface: every pixel reads as rock
    gs.recording[0].score = gs.recording[kMaxFrames].fuel = 3;
    StartRun();
    EXPECT_EQ(gs.shipY, -4);
    EXPECT_EQ(gs.selectedMap, 1);
    EXPECT_EQ(gs.fuel, 200);
    EXPECT_EQ(gs.recording[kMaxFrames].fuel, 0);
    EXPECT_EQ(gs.recording[0].score, 3);  // entry 0 is left alone
}

}  // namespace
