#include <gtest/gtest.h>

#include "gfx/surface.h"
#include "shell/game_state.h"
#include "shell/main_loop.h"
#include "shell/run_start.h"

namespace {

// A map surface whose column 30 is open exactly between two rows.
void SetStartColumn(int topOpen, int bottomRock, int height = 200) {
    ResetGameState();
    gs.mapSurface = CreateSurface(700, height);
    FillSurface(gs.mapSurface, 0x808080);
    for (int y = topOpen; y < bottomRock && y < height; ++y) SetPixel(gs.mapSurface, 30, y, 0);
}

TEST(StartRun, StartHeightIsNotTheMiddleOfTheGap) {
    SetStartColumn(50, 120);
    StartRun();
    EXPECT_EQ(gs.shipY, 50 + 60 - 4);
}

TEST(StartRun, ColumnWithoutOpenRowGivesMinusFour) {
    ResetGameState();  // no map surface: every pixel reads as rock
    StartRun();
    EXPECT_EQ(gs.shipY, -4);
    EXPECT_EQ(gs.selectedMap, 1);
    EXPECT_EQ(gs.mapWidth, 0);
    EXPECT_EQ(gs.scrollSpeed, 0);
}

TEST(StartRun, ColumnOpenToTheBottom) {
    // Row 200 lies outside a 200-row picture and reads as rock.
    SetStartColumn(80, 200);
    StartRun();
    EXPECT_EQ(gs.shipY, 80 + 100 - 4);
    // In a taller picture no rock is found down to row 200.
    SetStartColumn(80, 201, 201);
    StartRun();
    EXPECT_EQ(gs.shipY, 80 - 4);
}

TEST(StartRun, ResetsTheRunAndKeepsWhatItMust) {
    ResetGameState();
    gs.colliding = kTrue;
    gs.narrowBonus = 12;
    gs.debugDraw = kTrue;
    gs.lastScore = 77;
    gs.playing = kTrue;
    gs.helpShown = kTrue;
    gs.frameIndex = 55;
    gs.recording[1].shipX = 5;
    gs.recording[kMaxFrames].fuel = 9;
    gs.recording[0].score = 3;
    StartRun();
    EXPECT_EQ(gs.fuel, 200);
    EXPECT_EQ(gs.frameIndex, 0);
    EXPECT_EQ(gs.recording[1].shipX, 0);
    EXPECT_EQ(gs.recording[kMaxFrames].fuel, 0);
    EXPECT_EQ(gs.recording[0].score, 3);  // entry 0 is left alone
    EXPECT_EQ(gs.helpShown, 0);
    EXPECT_EQ(gs.colliding, kTrue);
    EXPECT_EQ(gs.narrowBonus, 12);
    EXPECT_EQ(gs.debugDraw, kTrue);
    EXPECT_EQ(gs.lastScore, 77);
    EXPECT_EQ(gs.playing, kTrue);
    EXPECT_FLOAT_EQ(gs.thrustAccel, -0.045f);
    EXPECT_EQ(EffectiveShield(), gs.shield);
}

TEST(FramePacing, StepRoundsHalvesToEven) {
    EXPECT_EQ(NextFrameDeadline(600), 614);
    EXPECT_EQ(NextFrameDeadline(601), 616);
    EXPECT_EQ(NextFrameDeadline(-1), 14);
    // Across the 2^31 wrap the step is the same.
    EXPECT_EQ(NextFrameDeadline(INT32_MAX), INT32_MIN + 14);
    EXPECT_EQ(NextFrameDeadline(INT32_MAX - 1), INT32_MIN + 12);
}

}  // namespace
