// The replay file written byte for byte and read back by both readers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "base/game_paths.h"
#include "base/atomic_file.h"
#include "base/game_state.h"
#include "headless/headless.h"
#include "replay/recording.h"
#include "replay/replay_file.h"
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

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

std::string Fresh() {
    ResetGameState();
    HeadlessReset();
    std::string dir = testsupport::MakeTempDir("quillrun-replay");
    ::mkdir((dir + "/Replays").c_str(), 0755);
    SetGameFolders({dir, dir});
    gs.selectedMap = 1;
    return dir;
}

const char* const kExample =
    "mX2\r\npX30\r\npY96\r\nSh100\r\nFu200\r\n"
    "mX4\r\npX30\r\n"
    "mX6\r\npX30\r\npY97\r\nSc1\r\n"
    "--END--\r\nLastFrame=30\r\n";

void RecordExample() {
    gs.recording[1] = ReplayFrame{2, 30, 96, 0, 100, 200};
    gs.recording[2] = ReplayFrame{4, 30, 96, 0, 100, 200};
    gs.recording[3] = ReplayFrame{6, 30, 97, 1, 100, 200};
}

TEST(ReplayFile, TheExampleIsWrittenByteForByteAndReadBackByBothReaders) {
    std::string dir = Fresh();
    testsupport::RemoveTree(dir + "/Replays");  // created when missing
    RecordExample();
    SaveReplayFile(1);
    EXPECT_EQ(ReadFile(dir + "/Replays/Map01.replay"), kExample);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir + "/Replays"), {}), 1);  // no temporary file
    gs.bestRun[500] = 9;
    LoadBestRun();
    EXPECT_EQ(gs.bestRun[30], 1);
    EXPECT_EQ(gs.bestRun[500], 0);  // cleared first
    EXPECT_EQ(LoadReplayEntries(1), 30);
    const ReplayFrame* f = gs.recording;  // one entry per line; the terminator is none
    EXPECT_EQ((std::vector<float>{f[0].mapX, f[1].shipX, f[2].shipY, f[3].shield, f[4].fuel, f[5].mapX, f[10].score,
                                  f[10].mapX, f[11].shipX}),
              (std::vector<float>{2, 30, 96, 100, 200, 4, 1, 0, 0}));
    // Values saturate at 16 bits; fuel is written when it goes back to 0.
    gs.recording[1] = ReplayFrame{2, 30, 96, 40000, -1, 0};
    gs.recording[2] = ReplayFrame{4, 31, 96, 40001, -40000, 5};
    gs.recording[3] = ReplayFrame{4, 31, 96, 40002, -40000, 0};
    SaveReplayFile(12);
    EXPECT_EQ(ReadFile(dir + "/Replays/Map12.replay"),
              "mX2\r\npX30\r\npY96\r\nSc32767\r\nSh-1\r\nmX4\r\npX31\r\nSh-32768\r\nFu5\r\npX31\r\nFu0\r\n"
              "--END--\r\nLastFrame=31\r\n");
}

}  // namespace
