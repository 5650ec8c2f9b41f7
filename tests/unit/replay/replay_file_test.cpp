// The replay file's bytes for a recorded run, and both readers on them.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "base/game_paths.h"
#include "base/game_state.h"
#include "headless/headless.h"
#include "replay/recording.h"
#include "replay/replay_file.h"
#include "shell/run_start.h"
#include "test_support.h"

namespace {

TEST(ReplayFile, TheExampleIsWrittenByteForByteAndReadBackByBothReaders) {
    ResetGameState();
    HeadlessReset();
    const std::string dir = testsupport::MakeTempDir("quillrun-replay");
    SetGameFolders({dir, dir});
    gs.selectedMap = 1;
    gs.recording[1] = ReplayFrame{2, 30, 96, 0, 100, 200};
    gs.recording[2] = ReplayFrame{4, 30, 96, 0, 100, 200};
    gs.recording[3] = ReplayFrame{6, 30, 97, 1, 100, 200};
    std::string text;
    ReplayText(text);
    EXPECT_EQ(text, "mX2\r\npX30\r\npY96\r\nSh100\r\nFu200\r\nmX4\r\npX30\r\nmX6\r\npX30\r\npY97\r\nSc1\r\n"
                    "--END--\r\nLastFrame=30\r\n");
    MakeReplayFolder();
    ASSERT_TRUE(ReplaceFileAtomically(ReplayPath(1), text));
    gs.bestRun[500] = 9;
    LoadBestRun();
    EXPECT_EQ(gs.bestRun[30], 1);
    EXPECT_EQ(gs.bestRun[500], 0);  // cleared first
    EXPECT_EQ(LoadReplayEntries(ReplayPath(1)), 30);
    const ReplayFrame* f = gs.recording;  // one entry per line; the terminator is none
    EXPECT_EQ((std::vector<float>{f[0].mapX, f[1].shipX, f[2].shipY, f[3].shield, f[4].fuel, f[5].mapX, f[10].score,
                                  f[10].mapX, f[11].shipX}),
              (std::vector<float>{2, 30, 96, 100, 200, 4, 1, 0, 0}));
    // Values saturate at 16 bits; fuel is written when it goes back to 0.
    gs.recording[1] = ReplayFrame{2, 30, 96, 40000, -1, 0};
    gs.recording[2] = ReplayFrame{4, 31, 96, 40001, -40000, 5};
    gs.recording[3] = ReplayFrame{4, 31, 96, 40002, -40000, 0};
    ReplayText(text);
    EXPECT_EQ(text, "mX2\r\npX30\r\npY96\r\nSc32767\r\nSh-1\r\nmX4\r\npX31\r\nSh-32768\r\nFu5\r\npX31\r\nFu0\r\n"
                    "--END--\r\nLastFrame=31\r\n");
    testsupport::RemoveTree(dir);
}

}  // namespace
