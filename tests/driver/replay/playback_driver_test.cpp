// Replay playback through quillrun-sim on replay files written by hand:
// which entries draw frames, seeking, stopping, what a frame shows and the
// end screen.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "maps/settings_file.h"
#include "test_support.h"

namespace {

using testsupport::RunSim;
using testsupport::SimResult;

// A replay file: the lines, then the terminator and "LastFrame=", CR LF.
void WriteReplay(const std::string& dir, int map, const std::vector<std::string>& lines, int lastFrame) {
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    testsupport::WriteFile(dir + "/Replays/Map0" + std::to_string(map) + ".replay",
                           text + "--END--\r\nLastFrame=" + std::to_string(lastFrame) + "\r\n");
}

// `frames` recorded frames scrolling 2 px each, the ship at x = 30, y = 96:
// frame 1 fills entries 0..4, frame k >= 2 entries 2k + 1 ("mX") and 2k + 2.
std::vector<std::string> Scrolling(int frames, int zeroAt = -1) {
    std::vector<std::string> l = {"mX2", "pX30", "pY96", "Sh100", "Fu200"};
    for (int k = 2; k <= frames; ++k) l.insert(l.end(), {"mX" + std::to_string(2 * k), "pX30"});
    if (zeroAt >= 0) l.insert(l.begin() + zeroAt, "Fu0");
    return l;
}

// The entry shown at each dispatch after 'R' at dispatch 1, while playing.
std::vector<int> PlaybackEntries(const SimResult& r) {
    std::vector<int> entries;
    for (const auto& t : r.trace)
        if (t.dispatch >= 2 && t.replayMode != 0) entries.push_back(t.frameIndex);
    return entries;
}

class Playback : public ::testing::Test {
protected:
    // Two small caves with records 725 and 1234.
    void SetUp() override {
        dir_ = testsupport::MakeGameDir("[01]\nFile=One.bmp\nWidth=700\nScoreBest=" + MaskText(" 725", kScoreMask) +
                                        "\n[02]\nFile=Two.bmp\nWidth=700\nScoreBest=" + MaskText(" 1234", kScoreMask) + "\n");
        for (const char* f : {"One.bmp", "Two.bmp"}) testsupport::WriteCorridorBmp(dir_ + "/Maps/" + f, 700, 40, 160);
    }
    void TearDown() override { testsupport::RemoveTree(dir_); }
    std::string dir_;
};

TEST_F(Playback, EntriesShownAndWherePlaybackStops) {
    // `stopped`: the first dispatch after playback (0: still playing) and
    // `stopEntry` its entry; `endScreen`: the 1500 ms end screen was shown
    // (1), was not (0), either (-1). No case starts a run.
    struct Case {
        const char* what; std::vector<std::string> lines; int lastFrame; std::string script; long until;
        std::vector<int> entries; long stopped; int stopEntry, endScreen;
    };
    const std::vector<std::string> kShort = {"mX2", "pX30", "pY96", "Sh100", "Fu200", "mX4",
                                             "pX30", "mX6", "pX30", "pY97", "Sc1"};
    std::string burst;
    for (int i = 0; i < 1900; ++i) burst += "3 down RIGHT\n";
    // Without keys, playback short of LastFrame walks on to entry 30000.
    std::vector<int> toTheLimit = {5, 7, 9, 11};
    for (int e = 13; e <= 30000; ++e) toTheLimit.push_back(e);
    // clang-format off
    const Case cases[] = {
        // The empty entry 11 with the ship at LastFrame ends it at once.
        {"three frames", kShort, 30, "", 6, {5, 7}, 4, 11, 1},
        // A zero value is a frame of its own, or the end at LastFrame.
        {"zero short of LastFrame", [] { auto l = Scrolling(5, 9); l.push_back("pX31"); return l; }(), 31, "", 12,
         {5, 7, 9, 10, 12}, 7, 15, 1},
        {"zero at LastFrame", Scrolling(5, 9), 30, "", 12, {5, 7}, 4, 9, 1},
        // Back to 0: entry 1 is read this time, entry 0 never.
        {"LEFT near the start", Scrolling(10), 30, "2 tap LEFT\n", 8, {5, 5, 7, 9, 11, 13, 15}, 0, 0, 0},
        // 7 + 18 + 2 = 27; then 27 + 18 + 1 lies beyond the last line.
        {"RIGHT held past the end", Scrolling(20), 30, "3 down RIGHT\n4 down RIGHT\n5 up RIGHT\n", 40, {5, 7, 27}, 5, 46, 1},
        // Short of LastFrame every empty entry is a frame; ESC ends after the next one.
        {"RIGHT past the end, then ESC", Scrolling(5), 99, "2 down RIGHT\n2 up RIGHT\n5 tap ESC\n", 9, {5, 24, 25, 26}, 6, 27, 0},
        {"a burst of RIGHT", Scrolling(5), 99, burst + "3 up RIGHT\n", 6, {5, 7}, 4, 32767, -1},
        {"ESC", Scrolling(20), 30, "3 tap ESC\n", 10, {5, 7}, 4, 9, 0},
        {"no keys, short of LastFrame", Scrolling(5), 99, "", 30010, toTheLimit, 0, 0, -1},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteReplay(dir_, 1, c.lines, c.lastFrame);
        const SimResult r = RunSim(dir_, "1 tap R\n" + c.script, {"--until", std::to_string(c.until), "--bench"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(PlaybackEntries(r), c.entries);
        EXPECT_EQ(r.out.find("message:"), std::string::npos) << r.out;
        EXPECT_TRUE(c.endScreen < 0 || (r.virtualTime > 1500) == (c.endScreen == 1)) << r.virtualTime;
        EXPECT_EQ(r.trace.back().playing, 0);
        if (c.stopped == 0) continue;
        EXPECT_EQ(r.trace.at(c.stopped - 1).replayMode, 0);
        EXPECT_EQ(r.trace.at(c.stopped - 1).frameIndex, c.stopEntry);
    }
}

TEST_F(Playback, ShotsShowTheShipWhereTheEntriesPutIt) {
    struct Pixel { int x, y; uint32_t colour; bool is; };
    constexpr uint32_t kShip = 0xFFFFFF, kRed = 0x0000FF, kRock = 0;
    struct Case { const char* what; std::vector<std::string> lines; std::string script; long shot; std::vector<Pixel> pixels; };
    // clang-format off
    const Case cases[] = {
        // Entry 1 ("pX30") is skipped: the first frame has the ship at x = 0, y = 96.
        {"first frame", Scrolling(3), "", 2, {{9, 100, kShip, true}, {0, 96, kShip, true}, {17, 104, kShip, true}, {39, 100, kShip, false}}},
        {"LEFT near the start reads entry 1", Scrolling(10), "2 tap LEFT\n", 3, {{39, 100, kShip, true}, {9, 100, kShip, false}}},
        // No engine marks while a seek key is held (frames before dispatches 3 and 4), again after it.
        {"seek key held", Scrolling(10), "2 down LEFT\n4 up LEFT\n", 5, {{26, 97, kRock, true}, {28, 103, kRock, true}}},
        {"seek key released", Scrolling(10), "2 down LEFT\n4 up LEFT\n", 6, {{28, 103, kRed, true}}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteReplay(dir_, 1, c.lines, 30);
        const SimResult r = RunSim(dir_, "1 tap R\n" + c.script, {"--until", "8"}, c.shot);
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(r.shot.width, 600);
        for (const Pixel& p : c.pixels) EXPECT_EQ(r.shot.At(p.x, p.y) == p.colour, p.is) << p.x << "," << p.y;
    }
}

TEST_F(Playback, DigitKeyDuringPlaybackChangesTheEndScreensScore) {
    // With the help picture on, the selection screen draws nothing, so the
    // end screen stays in the play field for the dispatch after playback.
    WriteReplay(dir_, 1, Scrolling(3), 30);
    WriteReplay(dir_, 2, Scrolling(3), 30);
    std::vector<testsupport::Shot> shots;
    for (const char* script : {"1 tap H\n1 tap R\n2 tap 2\n", "1 tap 2\n1 tap H\n1 tap R\n", "1 tap H\n1 tap R\n"}) {
        const SimResult r = RunSim(dir_, script, {"--until", "5"}, 4);
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(r.shot.width, 600);
        shots.push_back(r.shot);
    }
    EXPECT_GT(std::count(shots[0].pixels.begin(), shots[0].pixels.end(), 0x00FFFFu), 0);  // the yellow title
    EXPECT_EQ(shots[0].pixels, shots[1].pixels) << "map 2's record (1234) on both";
    EXPECT_NE(shots[0].pixels, shots[2].pixels) << "map 1's record (725) differs";
}

}  // namespace
