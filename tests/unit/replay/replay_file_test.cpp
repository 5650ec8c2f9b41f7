// The replay file: writing, reading back, and refusing damaged files.
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

TEST(ReplayFile, AFailedWriteLeavesTheOldFileWhole) {
    std::string dir = Fresh();
    const std::string path = dir + "/Replays/Map07.replay";
    WriteFile(path, "old\r\n");
    RecordExample();
    ::chmod((dir + "/Replays").c_str(), 0555);  // no temporary file beside it
    SaveReplayFile(7);
    ::chmod((dir + "/Replays").c_str(), 0755);
    EXPECT_EQ(ReadFile(path), "old\r\n");
    ::chmod(path.c_str(), 0444);  // a read-only file, also for a user allowed to write it anyway
    SaveReplayFile(7);
    EXPECT_EQ(ReadFile(path), "old\r\n");
    ::chmod(path.c_str(), 0644);
    ::mkdir((path + ".tmp").c_str(), 0755);  // the older fixed temporary name is no obstacle
    SaveReplayFile(7);
    EXPECT_EQ(ReadFile(path), kExample);
}

// Every reader on every damaged file: nothing outside the tables is written
// (checked by the sanitizer build), nothing crashes, the documented values
// come out.
TEST(ReplayFile, MalformedFilesAreReadSafely) {
    std::string dir = Fresh();
    const std::string path = dir + "/Replays/Map01.replay";
    std::string binary;
    for (uint32_t i = 0, seed = 12345; i < 200000; ++i)
        binary.push_back(static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16));
    // bestRun[x] must be `best`; the playback reader returns `lastFrame` (NAN: any value).
    struct Row { std::string text; int x; int16_t best; float lastFrame; };
    const Row rows[] = {
        {"pX40000\r\nSc5\r\n--END--\r\n", 30000, 0, 0},        // clamped to 32767: dropped
        {"pX30000\r\nSc5\r\n--END--\r\nLastFrame=417\r\n", 30000, 5, 417},  // the last entry
        {"pX-3\r\nSc5\r\npX3\r\nSc7\r\n--END--\r\n", 3, 7, 0},  // a negative x is dropped with its score
        {"pX40\r\nSc5\r\npX40\r\nSc6\r\n--END--\r\nLastFrame=99999\r\n", 40, 6, 32767},  // the later score wins
        {"pX12\r\nSc99999\r\n--END--\r\nLastFrame=abc\r\n", 12, 32767, 0},  // saturates
        {"pX12\r\nSc-99999\r\n--END--\r\nLastframe=5\r\n", 12, -32768, 0},  // keys are case-sensitive
        {"pX12\r\nSc1e3\r\n--END--\r\n", 12, 1, 0},              // plain decimal: the exponent is text
        {"pX12\r\nSc7.5\r\n--END--\r\n", 12, 8, 0},              // rounded, ties to even
        {"pX12\r\nSc6.5\r\n--END--\r\n", 12, 6, 0},
        {"pX12\r\nScabc\r\nSc 4\r\nSc+4x\r\n--END--\r\n", 12, 4, 0},  // no number reads as 0; "+4" is 4
        {"pX12\r\nSc" + std::string(100000, '9') + "\r\n--END--\r\n", 12, 32767, 0},  // 15 digits read
        {std::string(100000, 'x') + "\r\npX12\r\nSc3\r\n", 12, 3, 0},  // one long line, no terminator
        {"pX12\nSc3\n--END--\n", 12, 3, 0},                      // LF only
        {"pX12\r\nSc3\r\n--END-- \r\npX13\r\nSc4\r\n", 13, 4, 0},  // not the terminator
        {"pX12\r\nSc3\r\n--END--\r\npX13\r\nSc4\r\n", 13, 0, 0},  // read stops at it
        {"p", 0, 0, 0},
        {"", 0, 0, 0},
        {binary + "\npX99\r\nSc4\r\n", 0, 0, NAN},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text.substr(0, 40));
        WriteFile(path, r.text);
        LoadBestRun();
        EXPECT_EQ(gs.bestRun[r.x], r.best);
        const float last = LoadReplayEntries(1);
        EXPECT_TRUE(std::isnan(r.lastFrame) ? last >= -32768 && last <= 32767 : last == r.lastFrame) << last;
        for (int i = 0; i <= kMaxFrames; ++i)
            ASSERT_TRUE(gs.recording[i].score >= -32768 && gs.recording[i].score <= 32767) << i;
    }
    WriteFile(path, "Sc12.25\r\nSh-70000\r\nmx5\r\n--END--\r\n");
    LoadReplayEntries(1);
    EXPECT_EQ(gs.recording[0].score, 12.25f);  // the playback reader keeps fractions
    EXPECT_EQ(gs.recording[1].shield, -32768);
    EXPECT_EQ(gs.recording[2].mapX, 0);  // "mx" is no key
}

}  // namespace
