// Replay playback through quillrun-sim on replay files written by hand: which
// lines draw frames, seeking, slow motion, stopping and the end screen.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "maps/settings_file.h"
#include "test_support.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#define STBI_ONLY_PNG
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
#pragma GCC diagnostic pop

namespace {

using testsupport::RunSim;
using testsupport::SimResult;
using testsupport::TraceLine;

// Two small caves open between rows 40 and 160, with records 725 and 1234.
std::string MakeReplayGame() {
    const std::string ini = "[01]\nFile=One.bmp\nWidth=700\nName=One\nScoreBest=" + MaskText(" 725", kScoreMask) +
                            "\nScoreName=" + MaskText("Ann", kScoreMask) +
                            "\n[02]\nFile=Two.bmp\nWidth=700\nName=Two\nScoreBest=" +
                            MaskText(" 1234", kScoreMask) + "\nScoreName=" + MaskText("Bo", kScoreMask) + "\n";
    const std::string dir = testsupport::MakeGameDir(ini);
    testsupport::WriteCorridorBmp(dir + "/Maps/One.bmp", 700, 40, 160);
    testsupport::WriteCorridorBmp(dir + "/Maps/Two.bmp", 700, 40, 160);
    return dir;
}

// A replay file: the lines, then the terminator and "LastFrame=", CR LF.
void WriteReplay(const std::string& dir, int map, const std::vector<std::string>& lines, int lastFrame) {
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    text += "--END--\r\nLastFrame=" + std::to_string(lastFrame) + "\r\n";
    char name[32];
    std::snprintf(name, sizeof name, "/Replays/Map%02d.replay", map);
    testsupport::WriteFile(dir + name, text);
}

// The three frames of the file format's example: lines 0..10.
const std::vector<std::string> kShort = {"mX2", "pX30", "pY96", "Sh100", "Fu200", "mX4",
                                         "pX30", "mX6", "pX30", "pY97", "Sc1"};

// `frames` recorded frames scrolling 2 px each, the ship at x = 30 and
// y = 96: frame 1 fills lines 0..4, frame k >= 2 lines 5 + 2 (k - 2) and one
// more, so frame k's "mX" line is entry 2k + 1.
std::vector<std::string> Scrolling(int frames) {
    std::vector<std::string> l = {"mX2", "pX30", "pY96", "Sh100", "Fu200"};
    for (int k = 2; k <= frames; ++k) {
        l.push_back("mX" + std::to_string(2 * k));
        l.push_back("pX30");
    }
    return l;
}

// Dispatches at which playback was showing a frame (replayMode still set
// after dispatch 1, where 'R' was pressed), with the entry each one drew.
std::vector<int> PlaybackEntries(const SimResult& r) {
    std::vector<int> entries;
    for (const TraceLine& t : r.trace) {
        if (t.dispatch >= 2 && t.replayMode != 0) entries.push_back(t.frameIndex);
    }
    return entries;
}

const TraceLine* At(const SimResult& r, long dispatch) {
    for (const TraceLine& t : r.trace)
        if (t.dispatch == dispatch) return &t;
    return nullptr;
}

long VirtualTime(const SimResult& r) {
    const size_t at = r.out.find("virtual time: ");
    if (at == std::string::npos) return -1;
    return std::stol(r.out.substr(at + 14));
}

struct Shot {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    uint32_t At(int x, int y) const {
        const size_t i = (static_cast<size_t>(y) * width + x) * 3;
        return (uint32_t{rgb[i]} << 16) | (uint32_t{rgb[i + 1]} << 8) | rgb[i + 2];
    }
};

Shot ReadShot(const std::string& path) {
    Shot s;
    int channels = 0;
    unsigned char* data = stbi_load(path.c_str(), &s.width, &s.height, &channels, 3);
    if (data != nullptr) {
        s.rgb.assign(data, data + static_cast<size_t>(s.width) * s.height * 3);
        stbi_image_free(data);
    }
    return s;
}

constexpr uint32_t kShipRgb = 0xFFFFFF;
constexpr uint32_t kRedRgb = 0xFF0000;

class Playback : public ::testing::Test {
protected:
    void SetUp() override { dir_ = MakeReplayGame(); }
    void TearDown() override { testsupport::RemoveTree(dir_); }
    std::string Png(const std::string& name) const { return dir_ + "/" + name + ".png"; }
    std::string dir_;
};

TEST_F(Playback, DrawsOneFramePerScrollLineAndEndsAfterTheLastFrame) {
    WriteReplay(dir_, 1, kShort, 30);
    auto r = RunSim(dir_, "1 tap R\n", {"--until", "6"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Entries 5 and 7 ("mX4", "mX6") draw; entry 11 is empty with the ship
    // at LastFrame, so the end screen follows at once.
    EXPECT_EQ(PlaybackEntries(r), (std::vector<int>{5, 7}));
    const TraceLine* after = At(r, 4);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->replayMode, 0);
    EXPECT_EQ(after->frameIndex, 11);
    EXPECT_TRUE(r.out.empty()) << r.out;

    WriteReplay(dir_, 1, Scrolling(40), 30);
    r = RunSim(dir_, "1 tap R\n", {"--until", "60"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<int> expected;
    for (int k = 2; k <= 40; ++k) expected.push_back(2 * k + 1);
    EXPECT_EQ(PlaybackEntries(r), expected);
}

TEST_F(Playback, FirstFrameShowsTheShipAtTheLeftEdge) {
    WriteReplay(dir_, 1, kShort, 30);
    auto r = RunSim(dir_, "1 tap R\n", {"--until", "4", "--shot", "2:" + Png("first"), "--shot", "3:" + Png("second")});
    ASSERT_EQ(r.status, 0) << r.err;
    // Entry 1 ("pX30") is skipped: the first frame has the ship at x = 0,
    // y = 96 (entry 2 applied); the second at x = 30.
    const Shot first = ReadShot(Png("first"));
    const Shot second = ReadShot(Png("second"));
    ASSERT_EQ(first.width, 600);
    ASSERT_EQ(second.width, 600);
    EXPECT_EQ(first.At(9, 100), kShipRgb);
    EXPECT_EQ(first.At(0, 96), kShipRgb);
    EXPECT_EQ(first.At(17, 104), kShipRgb);
    EXPECT_NE(first.At(39, 100), kShipRgb);
    EXPECT_EQ(second.At(39, 100), kShipRgb);
    EXPECT_NE(second.At(9, 100), kShipRgb);
}

TEST_F(Playback, LineWithValueZeroDrawsOneMoreFrameOrEndsAtTheLastFrame) {
    // Fuel runs out in frame 3 while the ship is still short of LastFrame.
    std::vector<std::string> lines = Scrolling(5);
    lines.insert(lines.begin() + 9, "Fu0");  // after frame 3's "pX30" (entry 8)
    lines.push_back("pX31");
    WriteReplay(dir_, 1, lines, 31);
    auto r = RunSim(dir_, "1 tap R\n", {"--until", "12"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Entries: 5 mX4, 7 mX6, 9 Fu0 (a frame of its own), 10 mX8, 12 mX10;
    // the empty entry after "pX31" ends the playback.
    EXPECT_EQ(PlaybackEntries(r), (std::vector<int>{5, 7, 9, 10, 12}));

    // The same zero line once the ship has reached LastFrame ends it there.
    lines = Scrolling(5);
    lines.insert(lines.begin() + 9, "Fu0");
    WriteReplay(dir_, 1, lines, 30);
    r = RunSim(dir_, "1 tap R\n", {"--until", "12"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(PlaybackEntries(r), (std::vector<int>{5, 7}));
    EXPECT_EQ(At(r, 4)->frameIndex, 9);
}

TEST_F(Playback, LeftNearTheStartGoesBackToEntryOne) {
    WriteReplay(dir_, 1, Scrolling(10), 30);
    auto r = RunSim(dir_, "1 tap R\n2 tap LEFT\n", {"--until", "8", "--shot", "3:" + Png("again")});
    ASSERT_EQ(r.status, 0) << r.err;
    // Back to 0; entry 1 ("pX30") is read this time, entry 0 never.
    EXPECT_EQ(PlaybackEntries(r), (std::vector<int>{5, 5, 7, 9, 11, 13, 15}));
    const Shot again = ReadShot(Png("again"));
    ASSERT_EQ(again.width, 600);
    EXPECT_EQ(again.At(39, 100), kShipRgb);
    EXPECT_NE(again.At(9, 100), kShipRgb);
}

TEST_F(Playback, NoEngineMarksWhileASeekKeyIsHeld) {
    WriteReplay(dir_, 1, Scrolling(10), 30);
    // LEFT held from dispatch 2 to 4: the frames drawn before dispatches 3
    // and 4 (map x 34 and 36 under the ship) leave no mark; the frame before
    // dispatch 5 (map x 38) does.
    auto r = RunSim(dir_, "1 tap R\n2 down LEFT\n4 up LEFT\n",
                    {"--until", "8", "--shot", "5:" + Png("held"), "--shot", "6:" + Png("released")});
    ASSERT_EQ(r.status, 0) << r.err;
    const Shot held = ReadShot(Png("held"));        // view from map x 8
    const Shot released = ReadShot(Png("released"));  // view from map x 10
    ASSERT_EQ(held.width, 600);
    ASSERT_EQ(released.width, 600);
    EXPECT_EQ(held.At(26, 97), 0u);
    EXPECT_EQ(held.At(28, 97), 0u);
    EXPECT_EQ(held.At(28, 103), 0u);
    EXPECT_EQ(released.At(28, 97), kRedRgb);
    EXPECT_EQ(released.At(28, 103), kRedRgb);
}

TEST_F(Playback, RightPastTheEndEndsThePlaybackAtTheLastFrame) {
    WriteReplay(dir_, 1, Scrolling(20), 30);
    // At dispatch 3 the frame of entry 7 is shown; 18 entries on is 25.
    auto r = RunSim(dir_, "1 tap R\n3 down RIGHT\n4 down RIGHT\n5 up RIGHT\n", {"--until", "40"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(PlaybackEntries(r), (std::vector<int>{5, 7, 27}));
    // 27 + 18 + 1 lies beyond the last line (entry 42): that empty entry ends
    // the playback, with the ship at LastFrame.
    EXPECT_EQ(At(r, 5)->replayMode, 0);
    EXPECT_EQ(At(r, 5)->frameIndex, 46);
}

TEST_F(Playback, PastTheEndShortOfTheLastFrameEveryEmptyEntryIsAFrame) {
    WriteReplay(dir_, 1, Scrolling(5), 99);
    auto r = RunSim(dir_, "1 tap R\n2 down RIGHT\n2 up RIGHT\n5 tap ESC\n", {"--until", "9"});
    ASSERT_EQ(r.status, 0) << r.err;
    // 5 + 18 + 1 = 24 and on, one entry per frame; ESC at dispatch 5 stops
    // after the next drawn frame.
    EXPECT_EQ(PlaybackEntries(r), (std::vector<int>{5, 24, 25, 26}));
    EXPECT_EQ(At(r, 6)->replayMode, 0);
    EXPECT_EQ(At(r, 6)->frameIndex, 27);
}

TEST_F(Playback, SeekKeysNeverCarryThePositionOutOfTheRecording) {
    WriteReplay(dir_, 1, Scrolling(5), 99);
    // The position runs on over empty entries up to the end of the
    // recording; a burst of RIGHT near it pushes it to the 16-bit limit.
    std::string script = "1 tap R\n";
    for (int i = 0; i < 1900; ++i) script += "3 down RIGHT\n";
    script += "3 up RIGHT\n";
    auto r = RunSim(dir_, script, {"--until", "6", "--bench"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(PlaybackEntries(r), (std::vector<int>{5, 7}));
    EXPECT_EQ(At(r, 4)->replayMode, 0);
    EXPECT_EQ(At(r, 4)->frameIndex, 32767);

    // Without keys, playback short of LastFrame walks to entry 30000.
    r = RunSim(dir_, "1 tap R\n", {"--until", "30010"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<int> entries = PlaybackEntries(r);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back(), 30000);
    EXPECT_EQ(entries.size(), 4u + (30000 - 13 + 1));
}

TEST_F(Playback, EscapeStopsAfterTheNextFrameWithoutTheEndScreen) {
    WriteReplay(dir_, 1, Scrolling(20), 30);
    auto r = RunSim(dir_, "1 tap R\n3 tap ESC\n", {"--until", "10", "--bench"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(PlaybackEntries(r), (std::vector<int>{5, 7}));
    EXPECT_EQ(At(r, 4)->replayMode, 0);
    EXPECT_EQ(At(r, 4)->frameIndex, 9);
    EXPECT_EQ(At(r, 4)->playing, 0);
    // 10 frames of about 16 ms, no 1500 ms end screen.
    EXPECT_LT(VirtualTime(r), 1500);
}

TEST_F(Playback, EnterStopsThePlaybackAndStartsARun) {
    // LastFrame out of reach: the emptied recording draws one more frame
    // instead of reaching the end screen.
    WriteReplay(dir_, 1, Scrolling(20), 99);
    auto r = RunSim(dir_, "1 tap R\n3 tap ENTER\n", {"--until", "10", "--bench"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(PlaybackEntries(r), (std::vector<int>{5, 7}));
    for (long d = 4; d <= 10; ++d) {
        ASSERT_NE(At(r, d), nullptr);
        EXPECT_EQ(At(r, d)->playing, -1) << d;
        EXPECT_EQ(At(r, d)->replayMode, 0) << d;
    }
    EXPECT_LT(VirtualTime(r), 1500);
}

TEST_F(Playback, SlowMotionStretchesEachHeldFrameTo46Milliseconds) {
    WriteReplay(dir_, 1, Scrolling(20), 30);
    auto normal = RunSim(dir_, "1 tap R\n", {"--until", "30", "--bench"});
    auto slow = RunSim(dir_, "1 tap R\n2 down DOWN\n6 up DOWN\n", {"--until", "30", "--bench"});
    ASSERT_EQ(normal.status, 0) << normal.err;
    ASSERT_EQ(slow.status, 0) << slow.err;
    EXPECT_EQ(PlaybackEntries(slow), PlaybackEntries(normal));
    // DOWN was held through the deadlines set at dispatches 3 to 6: four
    // frame steps of 46 ms instead of 16.
    EXPECT_EQ(VirtualTime(slow) - VirtualTime(normal), 4 * 30);
    // The end screen's 1500 ms are in both.
    EXPECT_GT(VirtualTime(normal), 1500);
}

TEST_F(Playback, MissingFileGivesTheMessageAndReturns) {
    auto r = RunSim(dir_, "1 tap R\n", {"--until", "3", "--bench"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find("dispatches:")), "message: Quillrun: No replay file.\\nSet a record first!\n");
    EXPECT_TRUE(PlaybackEntries(r).empty());
    EXPECT_EQ(At(r, 2)->replayMode, 0);
    EXPECT_LT(VirtualTime(r), 1500);
}

TEST_F(Playback, DigitKeyDuringPlaybackChangesTheEndScreensScore) {
    // With the help picture on, the selection screen draws nothing, so the
    // end screen stays in the play field for the dispatch after playback.
    WriteReplay(dir_, 1, kShort, 30);
    WriteReplay(dir_, 2, kShort, 30);
    auto changed = RunSim(dir_, "1 tap H\n1 tap R\n2 tap 2\n", {"--until", "5", "--shot", "4:" + Png("changed")});
    auto second = RunSim(dir_, "1 tap 2\n1 tap H\n1 tap R\n", {"--until", "5", "--shot", "4:" + Png("second")});
    auto first = RunSim(dir_, "1 tap H\n1 tap R\n", {"--until", "5", "--shot", "4:" + Png("first")});
    ASSERT_EQ(changed.status, 0) << changed.err;
    ASSERT_EQ(second.status, 0) << second.err;
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(At(changed, 4)->selectedMap, 2);
    EXPECT_EQ(At(changed, 4)->replayMode, 0);
    const Shot a = ReadShot(Png("changed"));
    const Shot b = ReadShot(Png("second"));
    const Shot c = ReadShot(Png("first"));
    ASSERT_EQ(a.width, 600);
    ASSERT_EQ(b.width, 600);
    ASSERT_EQ(c.width, 600);
    // The end screen: the yellow-and-red title and score, nothing else.
    bool yellowSeen = false;
    for (size_t i = 0; i + 2 < a.rgb.size(); i += 3)
        yellowSeen = yellowSeen || (a.rgb[i] == 255 && a.rgb[i + 1] == 255 && a.rgb[i + 2] == 0);
    EXPECT_TRUE(yellowSeen);
    EXPECT_EQ(a.rgb, b.rgb) << "map 2's record (1234) on both";
    EXPECT_NE(a.rgb, c.rgb) << "map 1's record (725) differs";
}

TEST(PlaybackOfARealRun, ShowsEveryScrollLineOfTheRecordRunThenEnds) {
    // A record run on a fresh map: thrust pulses keep the ship in the cave
    // until it passes the map's end; the name dialog gets "Tester".
    const std::string dir = testsupport::MakeGameDir("[01]\nFile=One.bmp\nWidth=700\nName=One\n");
    testsupport::WriteCorridorBmp(dir + "/Maps/One.bmp", 700, 40, 160);
    std::string script = "1 tap ENTER\n";
    for (int d = 2; d < 3000; d += 8) script += std::to_string(d) + " down UP\n" + std::to_string(d + 3) + " up UP\n";
    script += "dialog Tester\n";
    auto run = RunSim(dir, script, {"--until", "3000"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string file = testsupport::ReadFile(dir + "/Replays/Map01.replay");
    ASSERT_FALSE(file.empty()) << run.out;

    // The lines before the terminator; every value of this run is non-zero,
    // so exactly the "mX" lines from entry 2 on draw a frame.
    std::vector<std::string> lines;
    for (size_t at = 0; at < file.size();) {
        const size_t end = file.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        lines.push_back(file.substr(at, end - at));
        at = end + 2;
    }
    ASSERT_GE(lines.size(), 3u);
    ASSERT_EQ(lines[lines.size() - 2], "--END--");
    lines.resize(lines.size() - 2);
    std::vector<int> scrollLines;
    for (size_t i = 0; i < lines.size(); ++i) {
        ASSERT_NE(lines[i].substr(2), "0") << i;
        if (i >= 2 && lines[i].compare(0, 2, "mX") == 0) scrollLines.push_back(static_cast<int>(i));
    }
    ASSERT_GT(scrollLines.size(), 100u);

    const long until = static_cast<long>(scrollLines.size()) + 5;
    auto r = RunSim(dir, "1 tap R\n", {"--until", std::to_string(until)});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(PlaybackEntries(r), scrollLines);
    // The ship reached LastFrame in the last recorded frame: the entry after
    // the last line ends the playback.
    const TraceLine* after = At(r, static_cast<long>(scrollLines.size()) + 2);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->replayMode, 0);
    EXPECT_EQ(after->frameIndex, static_cast<int>(lines.size()));
    EXPECT_TRUE(r.out.empty()) << r.out;
    testsupport::RemoveTree(dir);
}

}  // namespace
