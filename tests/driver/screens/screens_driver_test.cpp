// The screens as quillrun-sim shows them: PNG shots of the real frame loop,
// checked by colours in known boxes and against texts drawn by the same font
// layer in this process.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/game_state.h"
#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "test_support.h"

using namespace testsupport;

namespace {

constexpr uint32_t kHelpGrey = 0x404040;  // the help picture of MakeGameDir

// Ink of texts drawn alone by this process's font layer.
struct Reference {
    std::unique_ptr<Surface, void (*)(Surface*)> surface{CreateSurface(kFieldWidth, kFieldHeight), DestroySurface};
    Reference& Add(const std::string& text, int x, int y, int size, bool bold, uint32_t colour) {
        MainField.fontSize = size;
        MainField.fontBold = bold;
        MainField.foreColor = colour;
        TextOutA(surface.get(), x, y, text.data(), static_cast<int>(text.size()));
        return *this;
    }
};

testing::AssertionResult SameInk(const Shot& shot, const Reference& r, uint32_t colour, int x0, int y0, int x1, int y1) {
    int diff = 0, ink = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            bool want = GetPixel(r.surface.get(), x, y) == colour;
            ink += want;
            diff += want != (shot.At(x, y) == colour);
        }
    if (ink == 0) return testing::AssertionFailure() << "no reference ink";
    if (diff != 0) return testing::AssertionFailure() << diff << " pixels differ";
    return testing::AssertionSuccess();
}

// A game of five maps "Cave 01".."Cave 05"; Run takes shots at the given
// dispatches of a script.
class ScreensDriver : public testing::Test {
protected:
    void SetUp() override {
        std::string error, ini;
        ASSERT_TRUE(InitPlayField(&error)) << error;
        for (const char* k : {"01", "02", "03", "04", "05"})
            ini += std::string("[") + k + "]\nFile=cave.bmp\nWidth=1500\nName=Cave " + k + "\n";
        game_ = MakeGameDir(ini);
        WriteCorridorBmp(game_ + "/Maps/cave.bmp", 2000, 40, 160);
    }
    void TearDown() override { RemoveTree(game_); }
    void Run(const std::string& script, const std::vector<int>& at, int until) {
        const std::string work = MakeTempDir("quillrun-shots");
        std::vector<std::string> args = {"--until", std::to_string(until)};
        for (int n : at) args.insert(args.end(), {"--shot", std::to_string(n) + ":" + work + "/" + std::to_string(n) + ".png"});
        result_ = RunSim(game_, script, args);
        for (int n : at) shots_.push_back(ReadShot(work + "/" + std::to_string(n) + ".png"));
        RemoveTree(work);
        ASSERT_EQ(result_.status, 0) << result_.err;
        for (const Shot& shot : shots_) ASSERT_EQ(shot.width, kFieldWidth);
    }
    std::string game_;
    SimResult result_;
    std::vector<Shot> shots_;
};

TEST_F(ScreensDriver, DownMovesTheHighlightedRow) {
    // A held key is seen by the next pass; its release clears the flag.
    ASSERT_NO_FATAL_FAILURE(Run("1 down DOWN\n3 up DOWN\n", {1, 5}, 6));
    EXPECT_EQ(result_.trace.back().selectedMap, 2);
    for (int selected : {1, 2}) {
        SCOPED_TRACE(selected);
        const Shot& shot = shots_[selected - 1];
        Reference r;
        for (int k = 1; k <= 5; ++k) {
            char row[32];
            std::snprintf(row, sizeof row, "0%d) Cave 0%d", k, k);
            r.Add(row, 5, 95 + 12 * (k - selected), 8, k == selected, k == selected ? kPaleBlueWhite : kLightBlue);
        }
        // The highlighted row lies between the lines at y = 96 and 108.
        EXPECT_TRUE(SameInk(shot, r, kPaleBlueWhite, 0, 0, kFieldWidth, kFieldHeight));
        EXPECT_EQ(shot.Count(kPaleBlueWhite, 0, 0, kFieldWidth, 97) + shot.Count(kPaleBlueWhite, 0, 108, kFieldWidth, kFieldHeight), 0);
        EXPECT_EQ(shot.Count(kLightBlue, 0, 96, 319, 97) + shot.Count(kLightBlue, 0, 108, 319, 109), 2 * 319);
        EXPECT_TRUE(SameInk(shot, r, kLightBlue, 0, 109, 319, kFieldHeight));
    }
    EXPECT_EQ(shots_[0].Count(kLightBlue, 0, 20, 319, 96), 0) << "no rows above map 1";
}

TEST_F(ScreensDriver, RunShowsTheStatusLine) {
    ASSERT_NO_FATAL_FAILURE(Run("1 tap ENTER\n", {3}, 4));
    // Waiting for the first steering key: full shield, fuel 201 after an idle frame.
    const std::string bar(50, '|');
    Reference r;
    r.Add("Shield:", 3, 200, 8, false, kYellow).Add("Extra Fuel:", 170, 200, 8, false, kYellow).Add("Score: 0", 360, 200, 8, false, kYellow);
    r.Add(bar, 40, 200, 8, false, kBlue).Add(bar, 227, 200, 8, false, kBlue);
    EXPECT_TRUE(SameInk(shots_[0], r, kBlue, 0, 201, kFieldWidth, kFieldHeight));
    EXPECT_TRUE(SameInk(shots_[0], r, kYellow, 40, 201, kFieldWidth, kFieldHeight));
    EXPECT_EQ(shots_[0].Count(kLightBlue, 0, 200, kFieldWidth, 201), kFieldWidth);
    EXPECT_EQ(shots_[0].Count(kWhite, 0, 201, kFieldWidth, kFieldHeight), 0) << "bars fully filled";
}

TEST_F(ScreensDriver, HelpHidesTheListAndIgnoresUpDown) {
    ASSERT_NO_FATAL_FAILURE(Run("1 tap H\n2 down DOWN\n4 up DOWN\n5 down UP\n7 up UP\n8 tap H\n", {6, 10}, 11));
    EXPECT_EQ(shots_[0].Count(kHelpGrey, 0, 0, kFieldWidth, kFieldHeight), kFieldWidth * kFieldHeight);
    for (const auto& line : result_.trace) EXPECT_EQ(line.selectedMap, 1) << "dispatch " << line.dispatch;
    EXPECT_GT(shots_[1].Count(kPaleBlueWhite, 5, 97, 100, 108), 0) << "closed again: the list with map 1 highlighted";
}

}  // namespace
