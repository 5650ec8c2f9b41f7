#include <gtest/gtest.h>

#include "flight/collision.h"
#include "flight_fixture.h"
#include "platform/platform.h"

using namespace flighttest;

namespace {

// ---- cave gauge and score ----

TEST(CaveGauge, OpenSpaceAtFullShield) {
    StartCorridor(3000, 0, 199);
    gs.started = kTrue;
    MeasureCave();
    EXPECT_EQ(gs.gapBelow, 21);
    EXPECT_EQ(gs.gapAbove, 21);
    EXPECT_EQ(gs.narrowBonus, 0);
    EXPECT_EQ(gs.shieldBonus, 0.05f);
    EXPECT_EQ(gs.brakeShieldBonus, 0.033f);
    EXPECT_EQ(gs.score, F(D(0.05f) + D(2.2f) / 20.0 + 0.0));
    EXPECT_NEAR(gs.score, 0.16, 1e-6);
}

TEST(CaveGauge, RockRightAboveAndElevenBelow) {
    StartCorridor(3000, 50, 60);
    gs.shipY = 50;
    gs.started = kTrue;
    MeasureCave();
    EXPECT_EQ(gs.gapBelow, 1);
    EXPECT_EQ(gs.gapAbove, 1);
    EXPECT_EQ(gs.narrowBonus, 40);
    EXPECT_EQ(gs.score, F(D(0.05f) + D(2.2f) / 20.0 + 40.0 / 70.0));
    EXPECT_NEAR(gs.score, 0.73, 0.005);
}

TEST(CaveGauge, BrakeAndTurboFormulas) {
    struct Case {
        Flag brake, turbo;
        double expected;
    } cases[] = {{kTrue, kFalse, (0.11 + 0.033) / 2}, {kFalse, kTrue, 2.5 * 0.16}, {kTrue, kTrue, (0.11 + 0.033) / 2}};
    for (const Case& c : cases) {
        StartCorridor(3000, 0, 199);
        gs.brakeHeld = c.brake;
        gs.turboHeld = c.turbo;
        gs.fuel = 0;  // the brake formula does not look at the tank
        MeasureCave();
        EXPECT_NEAR(gs.score, c.expected, 1e-6) << c.brake << c.turbo;
    }
}

TEST(CaveGauge, ShieldBonusRoundsHalvesAwayFromZero) {
    struct Case {
        float shield, bonus, brakeBonus;
    } cases[] = {{99, 0.05f, 0.033f}, {97, 0.049f, 0.032f}, {1.5f, 0.001f, 0.001f}, {0, 0, 0}};
    for (const Case& c : cases) {
        StartCorridor(3000, 0, 199);
        gs.shield = c.shield;
        MeasureCave();
        EXPECT_EQ(gs.shieldBonus, c.bonus) << c.shield;
        EXPECT_EQ(gs.brakeShieldBonus, c.brakeBonus) << c.shield;
    }
}

TEST(CaveGauge, DebugMarksPaintTheOpenProbedPixels) {
    StartCorridor(3000, 40, 80);
    gs.shipY = 55;
    gs.debugDraw = kTrue;
    MeasureCave();
    EXPECT_EQ(gs.gapBelow, 16);  // row 81 is rock
    EXPECT_EQ(gs.gapAbove, 16);  // row 39 is rock
    for (int y = 66; y <= 80; ++y) EXPECT_EQ(GetPixel(gs.mapSurface, 30, y), kDebugMark) << y;
    for (int y = 40; y <= 54; ++y) EXPECT_EQ(GetPixel(gs.mapSurface, 30, y), kDebugMark) << y;
    EXPECT_EQ(GetPixel(gs.mapSurface, 30, 81), kRock);
    EXPECT_EQ(GetPixel(gs.mapSurface, 30, 39), kRock);
    EXPECT_EQ(GetPixel(gs.mapSurface, 30, 64), 0u);  // rows shipY + 9 and + 10 are never probed
    EXPECT_EQ(GetPixel(gs.mapSurface, 30, 65), 0u);
    MeasureCave();  // the marks now count as rock
    EXPECT_EQ(gs.gapBelow, 1);
    EXPECT_EQ(gs.gapAbove, 1);
}

// ---- collisions (the ship waits, so only the collision steps act) ----

TEST(Collision, TopHits) {
    StartCorridor(3000, 50, 199);
    gs.shipY = 49;
    gs.velocityY = -2;  // rising at 2 px/frame
    UpdateShip();
    EXPECT_NE(gs.colliding, 0);
    EXPECT_EQ(gs.shield, F(72.0 + D(0.01f)));  // 28 lost, then regenerated
    EXPECT_EQ(gs.velocityY, 1);
    EXPECT_EQ(gs.shipY, 50);

    StartCorridor(3000, 50, 199);
    gs.shipY = 49;
    gs.velocityY = 0;  // at rest
    UpdateShip();
    EXPECT_EQ(gs.shield, 100);
    EXPECT_EQ(gs.velocityY, 0.8f);

    StartCorridor(3000, 51, 199);
    gs.shipY = 49;
    UpdateShip();
    EXPECT_EQ(gs.shipY, 52);  // still in rock after 1: pushed 2 more
}

TEST(Collision, BottomHits) {
    StartCorridor(3000, 0, 149);
    gs.shipY = 142;
    gs.velocityY = 2;  // landing at 2 px/frame
    UpdateShip();
    EXPECT_NE(gs.colliding, 0);
    EXPECT_EQ(gs.shield, F(72.0 + D(0.01f)));
    EXPECT_EQ(gs.velocityY, -1);
    EXPECT_EQ(gs.shipY, 141);

    StartCorridor(3000, 0, 149);
    gs.shipY = 142;
    UpdateShip();
    EXPECT_EQ(gs.shield, 100);
    EXPECT_EQ(gs.velocityY, -0.2f);

    StartCorridor(3000, 0, 148);
    gs.shipY = 142;
    UpdateShip();
    EXPECT_EQ(gs.shipY, 139);
}

TEST(Collision, TopAndBottomInOneFrame) {
    StartCorridor(3000, 50, 57);
    gs.shipY = 49;
    UpdateShip();
    const float afterHits = F(100.0 - 14.0 * D(0.8f));
    EXPECT_NEAR(afterHits, 100 - 11.2, 1e-5);
    EXPECT_EQ(gs.shield, F(D(afterHits) + D(0.01f)));
    EXPECT_EQ(gs.velocityY, F(-(D(0.8f) / 2.0)));
    EXPECT_NEAR(gs.velocityY, -0.4, 1e-7);
    EXPECT_EQ(gs.shipY, 49);
}

TEST(Collision, StuckInRockLosesOneMorePointEveryFrame) {
    StartCave(3000, [](int, int) { return false; });
    EXPECT_EQ(gs.shipY, -4);
    UpdateShip();
    float expected = F(D(F(D(F(100.0 - 14.0 * D(0.8f))) + D(0.01f))) - 1.0);
    EXPECT_EQ(gs.shield, expected);
    EXPECT_EQ(gs.shipY, -4);  // pushed down 3, then up 3
    const float before = gs.shield;
    UpdateShip();
    // At -0.4 the top hit costs 14 x 0.4 and bounces at 0.2; the bottom hit
    // then costs 14 x 0.2; regeneration, then the stuck point.
    EXPECT_LT(gs.shield, before - 1);
}

TEST(Collision, ShieldBelowZeroEndsTheRun) {
    StartCorridor(3000, 50, 199);
    gs.shipY = 49;
    gs.velocityY = -2;
    gs.shield = 10;
    gs.score = 57.9f;
    const int32_t clock = HeadlessClock();
    UpdateShip();
    EXPECT_EQ(gs.playing, 0);
    EXPECT_EQ(gs.shield, 0);
    EXPECT_EQ(gs.lastScore, 57);
    EXPECT_EQ(HeadlessClock() - clock, 1300);
    EXPECT_EQ(gs.selectedMap, gs.runMap);
}

TEST(Collision, TheMapEndEndsTheRun) {
    StartCorridor(3000, 0, 199, 100);
    gs.started = kTrue;
    float lastSum = 30;
    int frames = 0;
    while (gs.playing != 0 && frames < 50) {
        lastSum = F(D(gs.scrollX) + D(gs.shipX));
        Frame();
        ++frames;
    }
    EXPECT_EQ(gs.playing, 0);
    EXPECT_LE(lastSum, 100);
    EXPECT_GT(F(D(gs.scrollX) + D(gs.shipX)), 100);
    EXPECT_EQ(frames, 7);  // 11 px per frame from 30

    // Exactly at the end is not past it.
    StartCorridor(3000, 0, 199, 100);
    gs.scrollX = 70;
    UpdateShip();
    EXPECT_NE(gs.playing, 0);
    gs.scrollX = 70.0001f;
    UpdateShip();
    EXPECT_EQ(gs.playing, 0);
}

TEST(Collision, LastScoreSaturates) {
    StartCorridor(3000, 0, 199);
    gs.score = 40000.5f;
    EndRun();
    EXPECT_EQ(gs.lastScore, 32767);
    StartCorridor(3000, 0, 199);
    gs.score = -5.5f;
    EndRun();
    EXPECT_EQ(gs.lastScore, -6);
}

TEST(Collision, GameOverDrawsFourJitterNumbers) {
    StartCorridor(3000, 0, 199);
    HeadlessReset();
    EndRun();
    const double next = PlatformRandom();
    HeadlessReset();
    for (int i = 0; i < 4; ++i) PlatformRandom();
    EXPECT_EQ(next, PlatformRandom());
    EXPECT_EQ(MainField.fontName, FONT_ARIAL);
    EXPECT_EQ(gs.thrustUpHeld, 0);
    EXPECT_EQ(gs.thrustDownHeld, 0);
}

}  // namespace
