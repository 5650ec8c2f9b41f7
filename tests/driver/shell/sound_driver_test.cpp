// Which sound starts at which dispatch, as quillrun-sim --sounds reports it.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "maps/settings_file.h"
#include "test_support.h"

namespace {

// Map 1 holds no record, map 2 one of 9999 that no run here beats; both end
// after a few dispatches of flight. Map 3 is long, with its floor 37 rows
// under the ship.
class Sound : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = testsupport::MakeGameDir("[01]\nFile=cave.bmp\nWidth=100\nName=Open\n"
                                        "[02]\nFile=cave.bmp\nWidth=100\nName=Held\nScoreBest=" +
                                        MaskText(" 9999", kScoreMask) + "\nScoreName=" + MaskText("Ace", kScoreMask) +
                                        "\n[03]\nFile=low.bmp\nWidth=1000\nName=Low\n");
        testsupport::WriteCorridorBmp(dir_ + "/Maps/cave.bmp", 1200, 20, 180);
        testsupport::WriteCorridorBmp(dir_ + "/Maps/low.bmp", 1200, 20, 120);
    }
    void TearDown() override { testsupport::RemoveTree(dir_); }
    std::string dir_;
};

std::vector<std::string> SoundLines(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("sound: ", 0) == 0) lines.push_back(line);
    return lines;
}

TEST_F(Sound, EachEventAtItsDispatch) {
    // "{end}" stands for the dispatch whose trace line first shows the run over.
    struct Case { const char* script; const char* mute; std::vector<std::string> expected; };
    const Case cases[] = {
        {"2 down DOWN\n3 up DOWN\n5 tap ENTER\n9 tap 1\n", nullptr,
         {"sound: 3 select 1.00", "sound: 5 confirm 1.00"}},
        {"1 tap 2\n2 tap ENTER\n4 down UP\n7 up UP\n8 down RIGHT\n9 tap ESC\n", nullptr,
         {"sound: 1 select 1.00", "sound: 2 confirm 1.00", "sound: 5 engine-up start", "sound: 8 engine-up stop",
          "sound: 9 turbo start", "sound: 10 turbo stop"}},
        {"1 tap 2\n2 tap ENTER\n4 down LEFT\n", nullptr,
         {"sound: 1 select 1.00", "sound: 2 confirm 1.00", "sound: 5 brake start", "sound: {end} brake stop",
          "sound: {end} game-over 1.00"}},
        {"2 tap ENTER\n4 down UP\n", nullptr,
         {"sound: 2 confirm 1.00", "sound: 5 engine-up start", "sound: {end} engine-up stop",
          "sound: {end} record 1.00"}},
        {"1 tap 2\n2 tap ENTER\n4 down LEFT\n", "--mute", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        std::vector<std::string> args = {"--until", "80", "--sounds"};
        if (c.mute != nullptr) args.push_back(c.mute);
        const auto r = testsupport::RunSim(dir_, c.script, args);
        ASSERT_EQ(r.status, 0) << r.err;
        long end = 0;
        for (const testsupport::TraceLine& t : r.trace)
            if (end == 0 && t.dispatch > 2 && t.playing == 0) end = t.dispatch;
        std::vector<std::string> expected = c.expected;
        for (std::string& line : expected)
            if (size_t at = line.find("{end}"); at != std::string::npos) line.replace(at, 5, std::to_string(end));
        EXPECT_EQ(SoundLines(r.out), expected) << r.out;
    }
}

TEST_F(Sound, AHitAtEveryDispatchWhereTheShieldDrops) {
    // DOWN held to the floor and after: bounces of every strength.
    const auto r = testsupport::RunSim(dir_, "1 tap 3\n2 tap ENTER\n4 down DOWN\n", {"--until", "150", "--sounds"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> drops;
    for (size_t i = 1; i < r.trace.size(); ++i)
        if (r.trace[i].shield < r.trace[i - 1].shield) drops.push_back(std::to_string(r.trace[i].dispatch));
    std::vector<std::string> hits;
    for (const std::string& line : SoundLines(r.out)) {
        std::istringstream words(line.substr(7));
        std::string dispatch, name;
        double strength = -1;
        if (words >> dispatch >> name >> strength && name == "hit") {
            hits.push_back(dispatch);
            EXPECT_TRUE(strength > 0 && strength <= 1) << line;
        }
    }
    EXPECT_GE(drops.size(), 3u);
    EXPECT_EQ(hits, drops) << r.out;
}

}  // namespace
