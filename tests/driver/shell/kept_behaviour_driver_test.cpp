// Behaviours kept on purpose although a player may find them odd, each run
// through quillrun-sim (docs/fidelity.md lists them with these tests).
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

using testsupport::RunSim;
using testsupport::SimResult;

// Maps 1 and 2: a 1200 x 200 cave open between rows 20 and 180, run length
// 100, so that a run started at dispatch 1 and steered at 3 ends at dispatch
// 10.
class KeptBehaviour : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = testsupport::MakeGameDir("[01]\nFile=cave.bmp\nWidth=100\nName=Corridor\n"
                                        "[02]\nFile=cave.bmp\nWidth=100\nName=Again\n");
        testsupport::WriteCorridorBmp(dir_ + "/Maps/cave.bmp", 1200, 20, 180);
    }
    void TearDown() override { testsupport::RemoveTree(dir_); }
    std::string dir_;
};

TEST_F(KeptBehaviour, EscDuringGameOverEndsTheProgramOnceTheScreenEnds) {
    // The game-over screen waits without reading keys; an ESC pressed then is
    // handled at the first dispatch after it, on the selection screen, where
    // ESC ends the program. One frame earlier the same ESC abandons the run.
    struct Case { long escAt; long lastDispatch; bool gameOverShown; };
    for (const Case c : {Case{10, 10, true}, Case{9, 40, false}}) {
        SCOPED_TRACE(c.escAt);
        const SimResult r = RunSim(dir_, "1 tap ENTER\n3 tap UP\n" + std::to_string(c.escAt) + " tap ESC\n",
                                   {"--until", "40", "--bench"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.trace.at(8).playing, -1);  // dispatch 9: the last frame of the run
        EXPECT_EQ(r.trace.back().dispatch, c.lastDispatch);
        EXPECT_EQ(r.out.find("Congratulations") != std::string::npos, c.gameOverShown) << r.out;
        EXPECT_EQ(r.virtualTime >= 1300, c.gameOverShown) << r.virtualTime;
    }
}

TEST_F(KeptBehaviour, EnterDuringAReplayLeavesOneTrailMarkInTheNewRunsCave) {
    // Replay: the ship at (30, 96) with full shield, the view moving 2 px a
    // frame. ENTER at dispatch 3, after the frame at map x 6, starts a run:
    // the cave is loaded afresh and the recording cleared. Playback then
    // draws one more frame with the values it holds and paints its engine
    // marks into the new cave at map x 36, red one and seven rows below the
    // ship's top. The run's view starts at 0, so they show at (36, 97) and
    // (36, 103). Without the replay the same pixels are open cave.
    std::string replay = "mX2\r\npX30\r\npY96\r\nSh100\r\nFu200\r\n";
    for (int k = 2; k <= 20; ++k) replay += "mX" + std::to_string(2 * k) + "\r\npX30\r\n";
    testsupport::WriteFile(dir_ + "/Replays/Map01.replay", replay + "--END--\r\nLastFrame=99\r\n");
    constexpr uint32_t kRed = 0x0000FF;
    struct Case { const char* script; uint32_t mark; };
    for (const Case c : {Case{"1 tap R\n3 tap ENTER\n", kRed}, Case{"1 tap ENTER\n", 0}}) {
        SCOPED_TRACE(c.script);
        const SimResult r = RunSim(dir_, c.script, {"--until", "8"}, 6);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.trace.at(5).playing, -1);
        EXPECT_EQ(r.trace.at(5).replayMode, 0);
        ASSERT_EQ(r.shot.width, 600);
        EXPECT_EQ(r.shot.At(36, 97), c.mark);
        EXPECT_EQ(r.shot.At(36, 103), c.mark);
        EXPECT_EQ(r.shot.At(34, 97), 0u);  // one mark, not the trail of the frames before ENTER
    }
}

// The virtual clock shows the pacing rule: the first frame starts on an even
// reading (+14 and one past); every later deadline is an odd reading + 15,
// passed by one, so frames take 15 ms and then 16 ms each.
TEST_F(KeptBehaviour, FramesTakeFifteenThenSixteenMilliseconds) {
    for (long n : {1L, 2L, 3L, 10L, 64L, 500L}) {
        const SimResult r = RunSim(dir_, "", {"--until", std::to_string(n), "--bench"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.virtualTime, n == 1 ? 0 : 15 + 16 * (n - 2)) << "until " << n;
    }
}

}  // namespace
