// Runs through quillrun-sim on hand-made caves; the traces must follow the
// flight rules frame by frame.
#include <gtest/gtest.h>

#include <string>

#include "maps/settings_file.h"
#include "test_support.h"

namespace {

using testsupport::RunSim;
using testsupport::SimResult;
using testsupport::TraceLine;

double D(float v) { return static_cast<double>(v); }
float F(double v) { return static_cast<float>(v); }

// Map 1: a 1200 x 200 cave open between rows 20 and 180, run length `width`.
std::string CorridorGame(int width = 1000) {
    std::string dir =
        testsupport::MakeGameDir("[01]\nFile=cave.bmp\nWidth=" + std::to_string(width) + "\nName=Corridor\n");
    testsupport::WriteCorridorBmp(dir + "/Maps/cave.bmp", 1200, 20, 180);
    return dir;
}

const TraceLine& At(const SimResult& r, long dispatch) {
    static TraceLine none;
    for (const TraceLine& l : r.trace)
        if (l.dispatch == dispatch) return l;
    ADD_FAILURE() << "no trace line " << dispatch;
    return none;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(FlightDriver, WaitsForTheFirstSteeringKeyFallsFreelyAndPausesAddNoFrames) {
    // ENTER at 1; nothing moves until UP is tapped at 10; paused from 30 to 40.
    SimResult r = RunSim(CorridorGame(), "1 tap ENTER\n10 tap UP\n30 tap P\n40 tap P\n", {"--until", "60"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (long d = 2; d <= 60; ++d) {
        const TraceLine& p = At(r, d - 1);
        const TraceLine& l = At(r, d);
        SCOPED_TRACE(d);
        ASSERT_EQ(l.playing, -1);
        ASSERT_EQ(l.colliding, 0);
        EXPECT_EQ(l.fuel, 201);  // capped and refilled, also while waiting
        EXPECT_EQ(l.paused, d > 30 && d <= 40 ? -1 : 0);
        if (d <= 10 || l.paused) {
            EXPECT_EQ(l.started, d <= 10 ? 0 : -1);
            EXPECT_EQ(l.frameIndex, p.frameIndex);
            EXPECT_EQ(l.scrollX, d <= 10 ? 0 : p.scrollX);
            EXPECT_EQ(l.shipX, d <= 10 ? 30 : p.shipX);
            EXPECT_EQ(l.shipY, d <= 10 ? 20 + 181 / 2 - 4 : p.shipY);
            EXPECT_EQ(l.score, p.score);
            continue;
        }
        EXPECT_EQ(l.frameIndex, p.frameIndex + 1);
        EXPECT_EQ(l.velocityY, F(D(0.045f) + D(p.velocityY)));
        EXPECT_EQ(l.shipY, F(D(p.shipY) + D(l.velocityY)));
        EXPECT_EQ(l.scrollX, F(D(p.scrollX) + D(2.2f)));
        EXPECT_EQ(l.shipX, F(D(p.shipX) + (400.0 / 1000.0) * D(2.2f)));
        EXPECT_EQ(l.score, F(D(p.score) + (D(0.05f) + D(2.2f) / 20.0 + D(l.narrowBonus) / 70.0)));
    }
    EXPECT_EQ(At(r, 60).frameIndex, 40);
}

TEST(FlightDriver, ThrustAndBrakeOnFuel) {
    // UP 3..12 (with DOWN from 8: up wins), DOWN alone 13..17, brake 18..24.
    SimResult r = RunSim(CorridorGame(),
                         "1 tap ENTER\n3 down UP\n8 down DOWN\n12 up UP\n17 up DOWN\n18 down LEFT\n24 up LEFT\n",
                         {"--until", "30"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (long d = 4; d <= 17; ++d) {
        const float v = At(r, d - 1).velocityY;
        EXPECT_EQ(At(r, d).velocityY, d <= 12 ? F(D(-0.045f) + D(v)) : F(D(0.045f) + D(v) - D(-0.045f))) << d;
    }
    // Braking: half the scroll, one fuel unit a frame, no refill; released
    // below the cap, refilled by 1.
    for (long d = 19; d <= 25; ++d) {
        EXPECT_EQ(At(r, d).fuel, d < 25 ? 200 - (d - 19) : 196) << d;
        EXPECT_EQ(At(r, d).scrollX, F(D(At(r, d - 1).scrollX) + D(2.2f) / (d < 25 ? 2.0 : 1.0))) << d;
    }
}

TEST(FlightDriver, StuckInRockBeforeStartingDiesBelowZero) {
    std::string dir = testsupport::MakeGameDir("[01]\nFile=rock.bmp\nWidth=1000\nName=Rock\n");
    testsupport::WriteBmp24(dir + "/Maps/rock.bmp", 1200, 200, [](int, int) { return 0x808080u; });
    SimResult r = RunSim(dir, "1 tap ENTER\n", {"--until", "200"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Both hits at rest (0.8 and -0.4 after them), then one stuck point.
    EXPECT_EQ(At(r, 2).shipY, -4);
    EXPECT_EQ(At(r, 2).shield, F(D(F(D(F(100.0 - 14.0 * D(0.8f))) + D(0.01f))) - 1.0));
    long end = 0;
    float last = 100;
    for (const TraceLine& l : r.trace) {
        if (l.dispatch < 2) continue;
        EXPECT_EQ(l.started + l.frameIndex, 0);
        if (l.playing == 0) {
            end = l.dispatch;
            break;
        }
        EXPECT_LT(l.shield, last - 0.98f);  // at least the stuck point less the regeneration
        last = l.shield;
    }
    ASSERT_GT(end, 0);
    EXPECT_GE(last, 0);  // the frame before the end still held a shield
    EXPECT_EQ(At(r, end).shield, 0);
    EXPECT_EQ(Count(r.out, "Congratulations"), 0u);  // a score of 0 is no record
}

TEST(FlightDriver, TheMapEndWritesARecordAndATieDoesNot) {
    std::string dir = CorridorGame(100);
    // The first run passes x = 100 after 7 moving frames, scoring 1; the
    // second flies the same and only ties.
    SimResult r = RunSim(dir, "dialog Zoë\n1 tap ENTER\n3 tap UP\n20 tap ENTER\n22 tap UP\n", {"--until", "40"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(At(r, 9).playing, -1);
    EXPECT_EQ(At(r, 10).playing, 0);
    EXPECT_EQ(At(r, 10).selectedMap, 1);
    EXPECT_EQ(At(r, 10).frameIndex, 7);  // the ending frame is recorded in memory
    EXPECT_EQ(At(r, 29).playing, 0);     // the second run ended too
    EXPECT_EQ(Count(r.out, "message: Quillrun: Congratulations, you broke the old record (0)\\nNew record: 1\\n"
                           "Enter your name!"), 1u) << r.out;
    EXPECT_EQ(Count(r.out, "Congratulations"), 1u);

    const std::string ini = testsupport::ReadFile(dir + "/Maps/Maps.ini");
    EXPECT_EQ(Count(ini, "ScoreBest=" + MaskText(" 1", kScoreMask) + "\r\n"), 1u) << ini;
    EXPECT_EQ(Count(ini, "ScoreName=" + MaskText("Zo\xEB", kScoreMask) + "\r\n"), 1u) << ini;
    // The replay holds the six frames before the ending one.
    const std::string replay = testsupport::ReadFile(dir + "/Replays/Map01.replay");
    EXPECT_EQ(Count(replay, "pX"), 6u) << replay;
    EXPECT_EQ(replay.substr(0, 5), "mX2\r\n");
    EXPECT_EQ(Count(replay, "--END--\r\nLastFrame="), 1u);
}

}  // namespace
