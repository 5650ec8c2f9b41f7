#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/headless/headless.h"
#include "replay/recording.h"
#include "replay/replay_file.h"
#include "shell/game_state.h"
#include "test_support.h"

namespace {

using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::WriteFile;

std::string Fresh() {
    ResetGameState();
    HeadlessReset();
    std::string dir = testsupport::MakeTempDir("quillrun-replay");
    ::mkdir((dir + "/Replays").c_str(), 0755);
    SetProgramFolder(dir);
    return dir;
}

void SetFrame(int i, float mapX, float shipX, float shipY, float score, float shield, float fuel) {
    gs.recording[i] = ReplayFrame{mapX, shipX, shipY, score, shield, fuel};
}

const char* const kExample =
    "mX2\r\npX30\r\npY96\r\nSh100\r\nFu200\r\n"
    "mX4\r\npX30\r\n"
    "mX6\r\npX30\r\npY97\r\nSc1\r\n"
    "--END--\r\nLastFrame=30\r\n";

void RecordExample() {
    SetFrame(1, 2, 30, 96, 0, 100, 200);
    SetFrame(2, 4, 30, 96, 0, 100, 200);
    SetFrame(3, 6, 30, 97, 1, 100, 200);
}

TEST(ReplayFile, PathsUseTwoDigits) {
    SetProgramFolder("/games/q");
    EXPECT_EQ(ReplayPath(7), "/games/q/Replays/Map07.replay");
    EXPECT_EQ(ReplayPath(12), "/games/q/Replays/Map12.replay");
    EXPECT_EQ(ReplayPath(50), "/games/q/Replays/Map50.replay");
}

TEST(ReplayFile, WritesTheExampleByteForByte) {
    std::string dir = Fresh();
    RecordExample();
    SaveReplay(7);
    EXPECT_EQ(ReadFile(dir + "/Replays/Map07.replay"), kExample);
    EXPECT_FALSE(FileExists(dir + "/Replays/Map07.replay.tmp"));
}

TEST(ReplayFile, ValuesGoingBackToZeroAndOutOfRange) {
    std::string dir = Fresh();
    SetFrame(1, 2, 30, 96, 40000, -1, 0);   // fuel stays 0: no line
    SetFrame(2, 4, 31, 96, 40001, -40000, 5);
    SetFrame(3, 4, 31, 96, 40002, -40000, 0);  // fuel back to 0 is written
    SaveReplay(3);
    EXPECT_EQ(ReadFile(dir + "/Replays/Map03.replay"),
              "mX2\r\npX30\r\npY96\r\nSc32767\r\nSh-1\r\n"
              "mX4\r\npX31\r\nSh-32768\r\nFu5\r\n"
              "pX31\r\nFu0\r\n"
              "--END--\r\nLastFrame=31\r\n");
}

TEST(ReplayFile, CreatesAMissingReplaysFolder) {
    std::string dir = Fresh();
    testsupport::RemoveTree(dir + "/Replays");
    RecordExample();
    SaveReplay(12);
    EXPECT_EQ(ReadFile(dir + "/Replays/Map12.replay"), kExample);
}

TEST(ReplayFile, AFailedWriteLeavesTheOldFileWhole) {
    std::string dir = Fresh();
    const std::string path = dir + "/Replays/Map07.replay";
    WriteFile(path, "old\r\n");
    RecordExample();
    ::chmod((dir + "/Replays").c_str(), 0555);
    SaveReplay(7);
    ::chmod((dir + "/Replays").c_str(), 0755);
    EXPECT_EQ(ReadFile(path), "old\r\n");
    EXPECT_FALSE(FileExists(path + ".tmp"));

    // The temporary file cannot be made: nothing changes either.
    ::mkdir((path + ".tmp").c_str(), 0755);
    SaveReplay(7);
    EXPECT_EQ(ReadFile(path), "old\r\n");
    ::rmdir((path + ".tmp").c_str());

    SaveReplay(7);  // and once the way is clear it is replaced
    EXPECT_EQ(ReadFile(path), kExample);
}

TEST(ReplayFile, ARunReadsBackThroughBothReaders) {
    std::string dir = Fresh();
    RecordExample();
    SaveReplay(7);
    gs.selectedMap = 7;
    gs.bestRun[500] = 9;
    LoadBestRun();
    EXPECT_EQ(gs.bestRun[30], 1);
    EXPECT_EQ(gs.bestRun[500], 0);  // cleared first

    const float last = LoadReplayEntries(7);
    EXPECT_EQ(last, 30);
    EXPECT_EQ(gs.recording[0].mapX, 2);
    EXPECT_EQ(gs.recording[1].shipX, 30);
    EXPECT_EQ(gs.recording[2].shipY, 96);
    EXPECT_EQ(gs.recording[3].shield, 100);
    EXPECT_EQ(gs.recording[4].fuel, 200);
    EXPECT_EQ(gs.recording[5].mapX, 4);
    EXPECT_EQ(gs.recording[10].score, 1);
    EXPECT_EQ(gs.recording[10].mapX, 0);
    EXPECT_EQ(gs.recording[11].shipX, 0);  // the terminator is no entry
}

TEST(ReplayFile, LoadBestRunWithoutAFileKeepsTheTable) {
    Fresh();
    gs.selectedMap = 4;
    gs.bestRun[77] = 5;
    LoadBestRun();
    EXPECT_EQ(gs.bestRun[77], 5);
}

TEST(ReplayFile, LaterScoreAtTheSameShipXWins) {
    std::string dir = Fresh();
    WriteFile(dir + "/Replays/Map01.replay", "pX40\r\nSc5\r\npX40\r\nSc6\r\npX41\r\n--END--\r\nLastFrame=41\r\n");
    gs.selectedMap = 1;
    LoadBestRun();
    EXPECT_EQ(gs.bestRun[40], 6);
    EXPECT_EQ(gs.bestRun[41], 0);
}

// Every reader on every damaged file: nothing outside the tables is written
// (checked by the sanitizer build), nothing crashes, the documented values
// come out.
TEST(ReplayFile, MalformedFilesAreReadSafely) {
    std::string dir = Fresh();
    const std::string path = dir + "/Replays/Map01.replay";
    gs.selectedMap = 1;
    struct Case {
        std::string text;
        int x;        // bestRun entry to look at
        int16_t best;
    } cases[] = {
        {"pX40000\r\nSc5\r\n--END--\r\n", 30000, 0},           // clamped to 32767: dropped
        {"pX30000\r\nSc5\r\n--END--\r\n", 30000, 5},           // the last entry
        {"pX-3\r\nSc5\r\npX3\r\nSc7\r\n--END--\r\n", 3, 7},    // a negative x is dropped with its score
        {"pX12\r\nSc99999\r\n--END--\r\n", 12, 32767},        // saturates
        {"pX12\r\nSc-99999\r\n--END--\r\n", 12, -32768},
        {"pX12\r\nSc1e3\r\n--END--\r\n", 12, 1},               // plain decimal: the exponent is text
        {"pX12\r\nSc7.5\r\n--END--\r\n", 12, 8},               // rounded, ties to even
        {"pX12\r\nSc6.5\r\n--END--\r\n", 12, 6},
        {"pX12\r\nScabc\r\nSc 4\r\nSc+4x\r\n--END--\r\n", 12, 4},  // no number reads as 0; "+4" is 4
        {"pX12\r\nSc" + std::string(100000, '9') + "\r\n--END--\r\n", 12, 32767},  // 15 digits read
        {std::string(100000, 'x') + "\r\npX12\r\nSc3\r\n", 12, 3},  // one long line, no terminator
        {"pX12\nSc3\n--END--\n", 12, 3},                          // LF only
        {"pX12\r\nSc3\r\n--END-- \r\npX13\r\nSc4\r\n", 13, 4},   // not the terminator
        {"pX12\r\nSc3\r\n--END--\r\npX13\r\nSc4\r\n", 13, 0},    // read stops at it
        {"p", 0, 0},
        {"", 0, 0},
    };
    for (const Case& c : cases) {
        WriteFile(path, c.text);
        LoadBestRun();
        EXPECT_EQ(gs.bestRun[c.x], c.best) << c.text.substr(0, 40);
        LoadReplayEntries(1);
    }

    // A binary file.
    std::string binary;
    uint32_t seed = 12345;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 1103515245u + 12345u;
        binary.push_back(static_cast<char>(seed >> 16));
    }
    binary += "\npX99\r\nSc4\r\n";
    WriteFile(path, binary);
    LoadBestRun();
    const float last = LoadReplayEntries(1);
    EXPECT_GE(last, -32768);
    EXPECT_LE(last, 32767);
    for (int i = 0; i <= kMaxFrames; ++i) {
        ASSERT_LE(gs.recording[i].score, 32767);
        ASSERT_GE(gs.recording[i].score, -32768);
    }
}

TEST(ReplayFile, PlaybackReaderValuesAndTheLastFrameLine) {
    std::string dir = Fresh();
    const std::string path = dir + "/Replays/Map02.replay";
    struct Case {
        std::string text;
        float lastFrame;
    } cases[] = {
        {"pX30\r\n--END--\r\nLastFrame=417\r\n", 417},
        {"pX30\r\n--END--\r\nLastFrame=99999\r\n", 32767},
        {"pX30\r\n--END--\r\nLastFrame=abc\r\n", 0},
        {"pX30\r\n--END--\r\nLastframe=5\r\n", 0},  // keys are case-sensitive
        {"pX30\r\n--END--\r\n", 0},
        {"pX30\r\n", 0},  // no terminator
    };
    for (const Case& c : cases) {
        WriteFile(path, c.text);
        EXPECT_EQ(LoadReplayEntries(2), c.lastFrame) << c.text;
        EXPECT_EQ(gs.recording[0].shipX, 30);
    }
    WriteFile(path, "Sc12.25\r\nSh-70000\r\nmx5\r\nFu\r\n--END--\r\n");
    LoadReplayEntries(2);
    EXPECT_EQ(gs.recording[0].score, 12.25f);   // the playback reader keeps fractions
    EXPECT_EQ(gs.recording[1].shield, -32768);
    EXPECT_EQ(gs.recording[2].mapX, 0);          // "mx" is no key
    EXPECT_EQ(gs.recording[3].fuel, 0);
}

TEST(ReplayFile, LineLimitsOfTheReaders) {
    std::string dir = Fresh();
    const std::string path = dir + "/Replays/Map01.replay";
    gs.selectedMap = 1;
    std::string text;
    for (int i = 0; i < kMaxFrames + 1; ++i) text += "mX1\r\n";
    WriteFile(path, text + "LastFrame=77\r\n");
    EXPECT_EQ(LoadReplayEntries(1), 77);  // 30001 entries, then the next line
    EXPECT_EQ(gs.recording[kMaxFrames].mapX, 1);
    WriteFile(path, text + "pX5\r\nSc9\r\n--END--\r\nLastFrame=77\r\n");
    EXPECT_EQ(LoadReplayEntries(1), 0);  // the line after 30001 is not "LastFrame="
    LoadBestRun();
    EXPECT_EQ(gs.bestRun[5], 0);  // beyond the 30001 lines read
}

TEST(Recording, RecordsWholePartsFromTheFirstMovingFrame) {
    Fresh();
    gs.scrollX = 2.2f;
    gs.shipX = 30.4f;
    gs.shipY = 96.9f;
    gs.score = 0.16f;
    gs.shield = -0.5f;
    gs.fuel = 201;
    RecordFrame();
    EXPECT_EQ(gs.frameIndex, 0);  // not started
    gs.started = 1;               // set, but not -1
    RecordFrame();
    EXPECT_EQ(gs.frameIndex, 0);
    gs.started = kTrue;
    RecordFrame();
    ASSERT_EQ(gs.frameIndex, 1);
    const ReplayFrame& f = gs.recording[1];
    EXPECT_EQ(f.mapX, 2);
    EXPECT_EQ(f.shipX, 30);
    EXPECT_EQ(f.shipY, 96);
    EXPECT_EQ(f.score, 0);
    EXPECT_EQ(f.shield, -1);  // rounded down
    EXPECT_EQ(f.fuel, 201);
}

TEST(Recording, StopsAtFrame30000AndTheFileEndsThere) {
    std::string dir = Fresh();
    gs.started = kTrue;
    for (int i = 1; i <= kMaxFrames + 5; ++i) {
        gs.scrollX = static_cast<float>(i);
        gs.shipX = static_cast<float>(30 + i % 300);
        gs.shipY = 100;
        gs.shield = 100;
        gs.score = static_cast<float>(i / 10);
        RecordFrame();
    }
    EXPECT_EQ(gs.frameIndex, kMaxFrames);
    EXPECT_EQ(gs.recording[kMaxFrames].mapX, kMaxFrames);
    EXPECT_EQ(gs.recording[0].mapX, 0);
    SaveReplay(9);
    const std::string text = ReadFile(dir + "/Replays/Map09.replay");
    size_t pxLines = 0;
    for (size_t at = text.find("pX"); at != std::string::npos; at = text.find("pX", at + 1)) ++pxLines;
    EXPECT_EQ(pxLines, static_cast<size_t>(kMaxFrames));
    const std::string tail = "--END--\r\nLastFrame=" + std::to_string(30 + kMaxFrames % 300) + "\r\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    // More than 30001 lines: the playback reader fills every entry and
    // finds no "LastFrame=" after them.
    EXPECT_EQ(LoadReplayEntries(9), 0);
    gs.selectedMap = 9;
    LoadBestRun();
    EXPECT_GT(gs.bestRun[40], 0);
    EXPECT_EQ(gs.bestRun[330], 0);  // the ship never got there
}

}  // namespace
