// Small hand-made caves flown in-process, frame by frame as the main loop
// steps them.
#include <gtest/gtest.h>

#include <string>

#include "base/game_paths.h"
#include "base/atomic_file.h"
#include "base/conversions.h"
#include "base/game_state.h"
#include "flight/cave_gauge.h"
#include "flight/ship_motion.h"
#include "gfx/surface.h"
#include "headless/headless.h"
#include "replay/replay_file.h"
#include "shell/main_loop.h"
#include "shell/run_end.h"
#include "shell/run_start.h"
#include "test_support.h"

namespace {
// The run in gs.recording written whole as the map's replay file.
void SaveReplayFile(int16_t map) {
    std::string text;
    ReplayText(text);
    MakeReplayFolder();
    ReplaceFileAtomically(ReplayPath(map), text);
}
}  // namespace

using namespace precision;

namespace {

// A run on a cave of `width` x 200, open between rows `top` and `bottom`
// inclusive. The catalogue stays empty, so the run keeps this surface, the
// width and the speed given here.
std::string StartCorridor(int width, int top, int bottom, int mapWidth = 0) {
    ResetGameState();
    HeadlessReset();
    std::string dir = testsupport::MakeTempDir("quillrun-flight");
    SetGameFolders({dir, dir});
    gs.mapSurface = CreateSurface(width, 200);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < width; ++x) SetPixel(gs.mapSurface, x, y, y >= top && y <= bottom ? 0 : 0x808080);
    gs.mapWidth = static_cast<int16_t>(mapWidth > 0 ? mapWidth : width);
    gs.scrollSpeed = 2.2f;
    StartRun();
    gs.playing = kTrue;
    return dir;
}

TEST(ShipMotion, FuelOverBrakeTurboAndIdleFrames) {
    struct Row { const char* what; float fuel, shield; Flag brake, turbo; double step, fuelAfter; bool brakeKept, turboKept; };
    const Row rows[] = {
        {"idle: capped at 200, then refilled", 201, 100, kFalse, kFalse, 2.2, 201, false, false},
        {"brake: 1 a frame, no refill", 201, 100, kTrue, kFalse, 1.1, 200, true, false},
        {"turbo", 201, 100, kFalse, kTrue, 4.4, 199, false, true},
        {"both: 2 a frame", 199, 100, kTrue, kTrue, 1.1, 197, true, true},
        {"brake on the last unit", 1, 100, kTrue, kFalse, 1.1, 0, true, false},
        {"brake on an empty tank: full speed, released, refilled", 0, 100, kTrue, kFalse, 2.2, 1, false, false},
        {"turbo at shield 30 is refused and empties the tank", 201, 30, kFalse, kTrue, 4.4, 1, false, false},
        {"turbo at shield 31", 201, 31, kFalse, kTrue, 4.4, 199, false, true},
        {"turbo on an empty tank", 0, 100, kFalse, kTrue, 4.4, 1, false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        StartCorridor(3000, 0, 199, 2000);
        gs.started = kTrue;
        gs.fuel = r.fuel;
        gs.shield = r.shield;
        gs.brakeHeld = r.brake;
        gs.turboHeld = r.turbo;
        FlyFrame();
        EXPECT_NEAR(gs.scrollX, r.step, 1e-6);
        // The drift follows the keys still held once the fuel is paid.
        EXPECT_NEAR(gs.shipX, 30 + (r.brakeKept ? 1.1 : r.turboKept ? 4.4 : 2.2) * 400 / 2000, 1e-5);
        EXPECT_EQ(gs.fuel, r.fuelAfter);
        EXPECT_EQ(gs.brakeHeld != 0, r.brakeKept);
        EXPECT_EQ(gs.turboHeld != 0, r.turboKept);
    }
}

// Open space at full shield is flown in the driver tests.
TEST(CaveGauge, ScoreOfAFrameBetweenRock) {
    StartCorridor(3000, 50, 60);  // rock right above and eleven rows below
    gs.shipY = 50;
    MeasureCave();
    EXPECT_EQ(gs.narrowBonus, 40);
    EXPECT_EQ(gs.score, F(D(0.05f) + D(2.2f) / 20.0 + 40.0 / 70.0));  // one expression, in double
    EXPECT_NEAR(gs.score, 0.73, 0.005);
}

// The ship waits, so only the collision steps act.
TEST(Collision, TopAndBottomHits) {
    struct Row { const char* what; int top, bottom; float shipY, velocityY, shield, velocityAfter, shipYAfter; };
    const Row rows[] = {
        {"top at 2 px/frame: 28 points", 50, 199, 49, -2, F(72.0 + D(0.01f)), 1, 50},
        {"top at rest", 50, 199, 49, 0, 100, 0.8f, 50},
        {"top, still in rock after 1: pushed 2 more", 51, 199, 49, 0, 100, 0.8f, 52},
        {"bottom at 2 px/frame: 28 points", 0, 149, 142, 2, F(72.0 + D(0.01f)), -1, 141},
        {"bottom at rest", 0, 149, 142, 0, 100, -0.2f, 141},
        {"bottom, still in rock after 1: pushed 2 more", 0, 148, 142, 0, 100, -0.2f, 139},
        {"both in one frame: 11.2 points, -0.4", 50, 57, 49, 0, F(D(F(100.0 - 14.0 * D(0.8f))) + D(0.01f)),
         F(-(D(0.8f) / 2.0)), 49},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        StartCorridor(3000, r.top, r.bottom);
        gs.shipY = r.shipY;
        gs.velocityY = r.velocityY;
        UpdateShip();
        EXPECT_NE(gs.colliding, 0);
        EXPECT_EQ(gs.shield, r.shield);
        EXPECT_EQ(gs.velocityY, r.velocityAfter);
        EXPECT_EQ(gs.shipY, r.shipYAfter);
    }
    EXPECT_NEAR(F(100.0 - 14.0 * D(0.8f)), 100 - 11.2, 1e-5);
    EXPECT_NEAR(gs.velocityY, -0.4, 1e-7);
}

TEST(Collision, LastScoreSaturatesAt16Bits) {
    for (const auto& [score, last] : {std::pair{40000.5f, 32767}, {-40000.5f, -32768}, {-5.5f, -6}}) {
        StartCorridor(3000, 0, 199);
        gs.score = score;
        EndRun();
        EXPECT_EQ(gs.lastScore, last) << score;
    }
}

TEST(Recording, ARunBeyond30000FramesGoesOnUnrecorded) {
    std::string dir = StartCorridor(16000, 0, 199, 32767);
    gs.scrollSpeed = 0.5f;  // slow enough to stay inside the picture
    gs.started = kTrue;
    for (int n = 0; n < kMaxFrames + 10; ++n) {
        // Hover around row 100 without touching rock.
        gs.thrustUpHeld = (gs.shipY > 100 && gs.velocityY > -0.3f) ? kTrue : kFalse;
        FlyFrame();
        ASSERT_NE(gs.playing, 0) << n;
        ASSERT_EQ(gs.colliding, 0) << n;
    }
    EXPECT_EQ(gs.frameIndex, kMaxFrames);
    EXPECT_NE(gs.recording[kMaxFrames].shipX, 0);
    EXPECT_GT(gs.scrollX, gs.recording[kMaxFrames].mapX + 4);  // it flew on

    // The file ends with the 30000th frame; the playback reader fills every
    // entry and finds no "LastFrame=" after them.
    SaveReplayFile(9);
    const std::string text = testsupport::ReadFile(dir + "/Replays/Map09.replay");
    size_t pxLines = 0;
    for (size_t at = text.find("pX"); at != std::string::npos; at = text.find("pX", at + 1)) ++pxLines;
    EXPECT_EQ(pxLines, static_cast<size_t>(kMaxFrames));
    EXPECT_TRUE(text.ends_with("--END--\r\nLastFrame=" + std::to_string(int(gs.recording[kMaxFrames].shipX)) + "\r\n"));
    EXPECT_EQ(LoadReplayEntries(9), 0);
}

}  // namespace
