// Runs through quillrun-sim on hand-made caves; the traces must follow the
// flight rules frame by frame.
#include <gtest/gtest.h>

#include <string>

#include "maps/settings_file.h"
#include "test_support.h"

namespace {

using testsupport::ReadFile;
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

TEST(FlightDriver, WaitsForTheFirstSteeringKeyThenFallsFreely) {
    std::string dir = CorridorGame();
    // ENTER at 1; nothing moves until UP is tapped at 10.
    SimResult r = RunSim(dir, "1 tap ENTER\n10 tap UP\n", {"--until", "60"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (long d = 2; d <= 10; ++d) {
        const TraceLine& l = At(r, d);
        EXPECT_EQ(l.playing, -1);
        EXPECT_EQ(l.started, 0);
        EXPECT_EQ(l.frameIndex, 0);
        EXPECT_EQ(l.scrollX, 0);
        EXPECT_EQ(l.shipX, 30);
        EXPECT_EQ(l.shipY, 20 + 181 / 2 - 4);
        EXPECT_EQ(l.fuel, 201);
    }
    for (long d = 11; d <= 60; ++d) {
        const TraceLine& p = At(r, d - 1);
        const TraceLine& l = At(r, d);
        ASSERT_EQ(l.colliding, 0) << d;
        EXPECT_EQ(l.frameIndex, p.frameIndex + 1);
        EXPECT_EQ(l.velocityY, F(D(0.045f) + D(p.velocityY))) << d;
        EXPECT_EQ(l.shipY, F(D(p.shipY) + D(l.velocityY))) << d;
        EXPECT_EQ(l.scrollX, F(D(p.scrollX) + D(2.2f))) << d;
        EXPECT_EQ(l.shipX, F(D(p.shipX) + (400.0 / 1000.0) * D(2.2f))) << d;
        EXPECT_EQ(l.score, F(D(p.score) + (D(0.05f) + D(2.2f) / 20.0 + D(l.narrowBonus) / 70.0))) << d;
        EXPECT_EQ(l.fuel, 201);
    }
    EXPECT_NEAR(At(r, 11).velocityY, 0.045, 1e-7);
    EXPECT_NEAR(At(r, 30).velocityY, 20 * 0.045, 1e-5);
}

TEST(FlightDriver, ThrustAndBrakeOnFuel) {
    std::string dir = CorridorGame();
    // UP held from 3 to 12, DOWN from 13 to 17, brake from 18 to 24.
    SimResult r = RunSim(dir,
                         "1 tap ENTER\n3 down UP\n12 up UP\n13 down DOWN\n17 up DOWN\n"
                         "18 down LEFT\n24 up LEFT\n",
                         {"--until", "30"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (long d = 4; d <= 12; ++d)
        EXPECT_EQ(At(r, d).velocityY, F(D(-0.045f) + D(At(r, d - 1).velocityY))) << d;
    EXPECT_NEAR(At(r, 12).velocityY, -9 * 0.045, 1e-5);
    for (long d = 14; d <= 17; ++d)
        EXPECT_EQ(At(r, d).velocityY, F(D(0.045f) + D(At(r, d - 1).velocityY) - D(-0.045f))) << d;
    // Braking: half the scroll, one fuel unit a frame, no refill.
    EXPECT_EQ(At(r, 18).fuel, 201);
    for (long d = 19; d <= 24; ++d) {
        EXPECT_EQ(At(r, d).fuel, 200 - (d - 19)) << d;
        EXPECT_EQ(At(r, d).scrollX, F(D(At(r, d - 1).scrollX) + D(2.2f) / 2.0)) << d;
    }
    EXPECT_EQ(At(r, 25).fuel, 196);  // released: below the cap, so refilled by 1
    EXPECT_EQ(At(r, 25).scrollX, F(D(At(r, 24).scrollX) + D(2.2f)));
}

TEST(FlightDriver, PausesAddNoFrames) {
    std::string dir = CorridorGame();
    SimResult r = RunSim(dir, "1 tap ENTER\n3 tap UP\n10 tap P\n20 tap P\n", {"--until", "25"});
    ASSERT_EQ(r.status, 0) << r.err;
    const TraceLine& before = At(r, 10);
    for (long d = 11; d <= 20; ++d) {
        EXPECT_EQ(At(r, d).paused, -1);
        EXPECT_EQ(At(r, d).frameIndex, before.frameIndex);
        EXPECT_EQ(At(r, d).scrollX, before.scrollX);
        EXPECT_EQ(At(r, d).shipY, before.shipY);
        EXPECT_EQ(At(r, d).score, before.score);
    }
    EXPECT_EQ(At(r, 21).frameIndex, before.frameIndex + 1);
    EXPECT_EQ(At(r, 21).velocityY, F(D(0.045f) + D(before.velocityY)));
}

TEST(FlightDriver, LandingOnTheFloorBouncesAndCostsShield) {
    std::string dir = CorridorGame();
    SimResult r = RunSim(dir, "1 tap ENTER\n3 tap UP\n", {"--until", "120"});
    ASSERT_EQ(r.status, 0) << r.err;
    long hit = 0;
    for (const TraceLine& l : r.trace)
        if (l.dispatch > 3 && l.colliding == -1) {
            hit = l.dispatch;
            break;
        }
    ASSERT_GT(hit, 0);
    const TraceLine& p = At(r, hit - 1);
    const TraceLine& l = At(r, hit);
    const float v = F(D(0.045f) + D(p.velocityY));  // the speed it hit the floor with
    EXPECT_GT(v, 2);
    EXPECT_EQ(l.shield, F(D(F(100.0 - 14.0 * D(v))) + D(0.01f)));
    EXPECT_EQ(l.velocityY, F(-(D(v) / 2.0)));
    EXPECT_LT(l.shipY, F(D(p.shipY) + D(v)));  // pushed back up
    // The bounce speed lasts one frame: no gravity in the next.
    const TraceLine& n = At(r, hit + 1);
    EXPECT_EQ(n.velocityY, l.velocityY);
    EXPECT_EQ(n.shield, F(D(l.shield) + D(0.01f)));  // regenerating
}

TEST(FlightDriver, StuckInRockBeforeStartingDiesBelowZero) {
    std::string dir = testsupport::MakeGameDir("[01]\nFile=rock.bmp\nWidth=1000\nName=Rock\n");
    testsupport::WriteBmp24(dir + "/Maps/rock.bmp", 1200, 200, [](int, int) { return 0x808080u; });
    SimResult r = RunSim(dir, "1 tap ENTER\n", {"--until", "200"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(At(r, 2).shipY, -4);
    EXPECT_EQ(At(r, 2).shield, F(D(F(D(F(100.0 - 14.0 * D(0.8f))) + D(0.01f))) - 1.0));
    long end = 0;
    float last = 100;
    for (const TraceLine& l : r.trace) {
        if (l.dispatch < 2) continue;
        EXPECT_EQ(l.started, 0);
        EXPECT_EQ(l.frameIndex, 0);
        if (l.playing == 0) {
            end = l.dispatch;
            break;
        }
        EXPECT_LT(l.shield, last);
        last = l.shield;
    }
    ASSERT_GT(end, 0);
    EXPECT_GE(last, 0);  // the frame before the end still held a shield
    EXPECT_EQ(At(r, end).shield, 0);
    EXPECT_EQ(r.out.find("Congratulations"), std::string::npos);  // a score of 0 is no record
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
    EXPECT_NE(r.out.find("message: Quillrun: Congratulations, you broke the old record (0)\\nNew record: 1\\n"
                         "Enter your name!"),
              std::string::npos)
        << r.out;
    size_t count = 0;
    for (size_t at = r.out.find("Congratulations"); at != std::string::npos; at = r.out.find("Congratulations", at + 1))
        ++count;
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(At(r, 29).playing, 0);  // the second run ended too

    const std::string ini = ReadFile(dir + "/Maps/Maps.ini");
    EXPECT_NE(ini.find("ScoreBest=" + MaskText(" 1", kScoreMask) + "\r\n"), std::string::npos);
    EXPECT_NE(ini.find("ScoreName=" + MaskText("Zo\xEB", kScoreMask) + "\r\n"), std::string::npos);

    // The replay holds the six frames before the ending one.
    const std::string replay = ReadFile(dir + "/Replays/Map01.replay");
    size_t frames = 0;
    for (size_t at = replay.find("pX"); at != std::string::npos; at = replay.find("pX", at + 1)) ++frames;
    EXPECT_EQ(frames, 6u) << replay;
    EXPECT_EQ(replay.substr(0, 5), "mX2\r\n");
    EXPECT_NE(replay.find("--END--\r\nLastFrame="), std::string::npos);
}

}  // namespace
