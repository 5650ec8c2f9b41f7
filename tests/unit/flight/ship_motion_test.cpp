#include <gtest/gtest.h>

#include "flight_fixture.h"
#include "platform/platform.h"

using namespace flighttest;

namespace {

TEST(ShipMotion, NothingMovesBeforeTheFirstSteeringKey) {
    StartCorridor(3000, 0, 199);
    const float startY = gs.shipY;
    EXPECT_EQ(startY, 97);  // open from row 1; row 200 lies outside the picture
    for (int i = 0; i < 5; ++i) Frame();
    EXPECT_EQ(gs.scrollX, 0);
    EXPECT_EQ(gs.shipX, 30);
    EXPECT_EQ(gs.shipY, startY);
    EXPECT_EQ(gs.velocityY, 0);
    EXPECT_EQ(gs.score, 0);
    EXPECT_EQ(gs.frameIndex, 0);
    EXPECT_EQ(gs.fuel, 201);  // capped and refilled all the same
    EXPECT_EQ(gs.recording[1].shipX, 0);
}

TEST(ShipMotion, FreeFallGainsGravityEveryFrame) {
    StartCorridor(3000, 0, 199);
    gs.started = kTrue;
    float v = 0, y = gs.shipY;
    for (int n = 1; n <= 40; ++n) {
        Frame();
        v = F(D(0.045f) + D(v));
        y = F(D(y) + D(v));
        ASSERT_EQ(gs.velocityY, v) << "frame " << n;
        ASSERT_EQ(gs.shipY, y) << "frame " << n;
        ASSERT_EQ(gs.colliding, 0);
    }
    EXPECT_NEAR(gs.velocityY, 40 * 0.045, 1e-4);
    EXPECT_NEAR(gs.shipY, 97 + 0.045 * 40 * 41 / 2, 1e-3);
}

TEST(ShipMotion, ThrustSpeeds) {
    struct Case {
        Flag up, down;
        double perFrame;
    } cases[] = {{kTrue, kFalse, -0.045}, {kFalse, kTrue, 0.09}, {kTrue, kTrue, -0.045}};
    for (const Case& c : cases) {
        StartCorridor(3000, 0, 199);
        gs.started = kTrue;
        gs.thrustUpHeld = c.up;
        gs.thrustDownHeld = c.down;
        for (int n = 0; n < 10; ++n) Frame();
        EXPECT_NEAR(gs.velocityY, 10 * c.perFrame, 1e-5) << c.up << c.down;
    }
    // Down thrust is gravity minus the (negative) thrust, in one expression.
    StartCorridor(3000, 0, 199);
    gs.started = kTrue;
    gs.thrustDownHeld = kTrue;
    Frame();
    EXPECT_EQ(gs.velocityY, F(D(0.045f) + 0.0 - D(-0.045f)));
}

TEST(ShipMotion, ScrollAndDriftFollowBrakeAndTurbo) {
    struct Case {
        Flag brake, turbo;
        double step;
    } cases[] = {{kFalse, kFalse, 2.2}, {kTrue, kFalse, 1.1}, {kFalse, kTrue, 4.4}, {kTrue, kTrue, 1.1}};
    for (const Case& c : cases) {
        StartCorridor(3000, 0, 199, 2000);
        gs.started = kTrue;
        gs.brakeHeld = c.brake;
        gs.turboHeld = c.turbo;
        Frame();
        EXPECT_NEAR(gs.scrollX, c.step, 1e-6);
        EXPECT_NEAR(gs.shipX, 30 + c.step * 400 / 2000, 1e-5);
    }
    // The drift in full precision: ratio first, then the speed.
    StartCorridor(3000, 0, 199, 2000);
    gs.started = kTrue;
    Frame();
    EXPECT_EQ(gs.scrollX, 2.2f);
    EXPECT_EQ(gs.shipX, F(30.0 + (400.0 / 2000.0) * D(2.2f)));
    EXPECT_EQ(gs.recording[1].mapX, 2);  // the first frame already scrolled
}

TEST(ShipMotion, FuelOverBrakeTurboAndIdleFrames) {
    StartCorridor(3000, 0, 199);
    gs.started = kTrue;
    Frame();
    EXPECT_EQ(gs.fuel, 201);  // capped at 200 first, then refilled
    Frame();
    EXPECT_EQ(gs.fuel, 201);

    gs.brakeHeld = kTrue;
    Frame();
    EXPECT_EQ(gs.fuel, 200);  // 201 - 1, capped by the idle turbo step, no refill
    Frame();
    EXPECT_EQ(gs.fuel, 199);
    gs.turboHeld = kTrue;
    Frame();
    EXPECT_EQ(gs.fuel, 197);  // both held: 2 per frame
}

TEST(ShipMotion, BrakeWithTheLastFuelUnit) {
    StartCorridor(3000, 0, 199);
    gs.started = kTrue;
    gs.fuel = 1;
    gs.brakeHeld = kTrue;
    Frame();
    EXPECT_NEAR(gs.scrollX, 1.1, 1e-6);
    EXPECT_EQ(gs.fuel, 0);
    EXPECT_NE(gs.brakeHeld, 0);
    const float x = gs.scrollX;
    Frame();
    EXPECT_EQ(gs.scrollX, F(D(x) + D(2.2f)));  // full speed: the tank is empty
    EXPECT_EQ(gs.brakeHeld, 0);
    EXPECT_EQ(gs.fuel, 1);  // refilled in the same frame
}

TEST(ShipMotion, TurboIsRefusedAtAWeakShieldOrEmptyTank) {
    StartCorridor(3000, 0, 199);
    gs.started = kTrue;
    gs.shield = 30;  // effective shield 30 is not above 30
    gs.turboHeld = kTrue;
    Frame();
    EXPECT_EQ(gs.turboHeld, 0);
    EXPECT_EQ(gs.fuel, 1);  // emptied, then refilled
    EXPECT_NEAR(gs.scrollX, 4.4, 1e-6);  // the scroll of this frame was already boosted

    StartCorridor(3000, 0, 199);
    gs.started = kTrue;
    gs.shield = 31;
    gs.turboHeld = kTrue;
    Frame();
    EXPECT_NE(gs.turboHeld, 0);
    EXPECT_EQ(gs.fuel, 199);

    StartCorridor(3000, 0, 199);
    gs.started = kTrue;
    gs.fuel = 0;
    gs.turboHeld = kTrue;
    Frame();
    EXPECT_EQ(gs.turboHeld, 0);
    EXPECT_EQ(gs.fuel, 1);
}

TEST(ShipMotion, ACollidingFrameKeepsTheSpeedButMoves) {
    StartCorridor(3000, 0, 199);
    gs.started = kTrue;
    gs.colliding = kTrue;
    gs.velocityY = 0.5f;
    const float y = gs.shipY;
    ScrollView();
    MeasureCave();
    UpdateShip();
    EXPECT_EQ(gs.velocityY, 0.5f);
    EXPECT_EQ(gs.shipY, F(D(y) + 0.5));
}

TEST(ShipMotion, DrawsTheShipWithItsMask) {
    StartCorridor(3000, 0, 199);
    MainField.image = CreateSurface(kFieldWidth, kFieldHeight);
    FillSurface(MainField.image, 0x123456);
    gs.shipSurface = CreateSurface(18, 18);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 18; ++x) SetPixel(gs.shipSurface, x, y, x < 9 ? kWhite : 0);  // image
    for (int y = 9; y < 18; ++y)
        for (int x = 0; x < 18; ++x) SetPixel(gs.shipSurface, x, y, x < 9 ? 0 : kWhite);  // mask
    UpdateShip();
    const int x = 30, y = 97;
    EXPECT_EQ(GetPixel(MainField.image, x, y), kWhite);          // masked out, then painted
    EXPECT_EQ(GetPixel(MainField.image, x + 12, y + 8), 0x123456u);  // mask keeps the view
    EXPECT_EQ(GetPixel(MainField.image, x + 20, y), 0x123456u);
    DestroySurface(MainField.image);
    MainField.image = nullptr;
}

TEST(ShipMotion, TrailPixelsFollowTheShield) {
    StartCorridor(3000, 0, 199);
    gs.started = kTrue;
    gs.turboHeld = kTrue;
    UpdateShip();
    int x = Near(D(gs.scrollX) + D(gs.shipX));
    int y = Near(D(gs.shipY));
    EXPECT_EQ(GetPixel(gs.mapSurface, x, y + 1), kRed);
    EXPECT_EQ(GetPixel(gs.mapSurface, x + 2, y + 4), kYellow);  // full shield: every frame
    EXPECT_EQ(GetPixel(gs.mapSurface, x, y + 7), kRed);
    EXPECT_EQ(GetPixel(gs.mapSurface, x + 2, y + 2), kYellow);
    EXPECT_EQ(GetPixel(gs.mapSurface, x + 2, y + 6), kYellow);

    // A weak shield paints nothing.
    StartCorridor(3000, 0, 199);
    gs.shield = 5;
    UpdateShip();
    x = Near(D(gs.shipX));
    y = Near(D(gs.shipY));
    for (int dy = 0; dy < 9; ++dy)
        for (int dx = 0; dx < 4; ++dx) EXPECT_EQ(GetPixel(gs.mapSurface, x + dx, y + dy), 0u);
}

TEST(ShipMotion, OneRandomNumberPerFrameEvenWhenNothingIsPainted) {
    StartCorridor(3000, 0, 199);
    gs.shield = 5;      // no yellow pixel: the number is still drawn
    gs.brakeHeld = kTrue;
    for (int i = 0; i < 7; ++i) UpdateShip();
    const double next = PlatformRandom();
    HeadlessReset();
    for (int i = 0; i < 7; ++i) PlatformRandom();
    EXPECT_EQ(next, PlatformRandom());
}

TEST(ShipMotion, TrailCountsAsRockForLaterProbes) {
    StartCorridor(3000, 0, 199);
    UpdateShip();  // paints at (30, 98), (32, 101), (30, 104) while waiting
    gs.shipY = 98 - 11;  // the downward gauge now meets the red pixel at once
    gs.started = kTrue;
    MeasureCave();
    EXPECT_EQ(gs.gapBelow, 1);
}

TEST(ShipMotion, ARunBeyond30000FramesGoesOnUnrecorded) {
    StartCorridor(16000, 0, 199, 32767);
    gs.scrollSpeed = 0.5f;  // slow enough to stay inside the picture
    gs.started = kTrue;
    for (int n = 0; n < kMaxFrames + 10; ++n) {
        // Hover around row 100 without touching rock.
        gs.thrustUpHeld = (gs.shipY > 100 && gs.velocityY > -0.3f) ? kTrue : kFalse;
        Frame();
        ASSERT_NE(gs.playing, 0) << n;
    }
    EXPECT_EQ(gs.frameIndex, kMaxFrames);
    EXPECT_EQ(gs.colliding, 0);
    EXPECT_NE(gs.recording[kMaxFrames].shipX, 0);
    EXPECT_GT(gs.scrollX, gs.recording[kMaxFrames].mapX + 4);  // it flew on
}

}  // namespace
