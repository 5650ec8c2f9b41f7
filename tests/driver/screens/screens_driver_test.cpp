// The screens as quillrun-sim shows them: PNG shots of the real frame loop,
// checked by colours in known boxes and against texts drawn by the same font
// layer in this process.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// A private PNG reader for the shots (the game itself reads no PNG).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>
#pragma GCC diagnostic pop

#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "shell/game_state.h"
#include "test_support.h"

using testsupport::MakeGameDir;
using testsupport::MakeTempDir;
using testsupport::RemoveTree;
using testsupport::RunSim;
using testsupport::SimResult;
using testsupport::WriteCorridorBmp;

namespace {

constexpr uint32_t kHelpGrey = 0x404040;  // the help picture of MakeGameDir

struct Shot {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // 0x00BBGGRR
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    int Count(uint32_t colour, int x0, int y0, int x1, int y1) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += At(x, y) == colour;
        return n;
    }
};

Shot LoadShot(const std::string& path) {
    Shot s;
    int channels = 0;
    unsigned char* rgb = stbi_load(path.c_str(), &s.width, &s.height, &channels, 3);
    if (rgb == nullptr) return s;
    s.pixels.resize(static_cast<size_t>(s.width) * s.height);
    for (size_t i = 0; i < s.pixels.size(); ++i)
        s.pixels[i] = rgb[3 * i] | (rgb[3 * i + 1] << 8) | (static_cast<uint32_t>(rgb[3 * i + 2]) << 16);
    stbi_image_free(rgb);
    return s;
}

std::string GameWithMaps(int count) {
    std::string ini;
    for (int k = 1; k <= count; ++k) {
        char section[16];
        std::snprintf(section, sizeof section, "%02d", k);
        ini += std::string("[") + section + "]\nFile=cave.bmp\nWidth=1500\nName=Cave " + section + "\n";
    }
    std::string dir = MakeGameDir(ini);
    WriteCorridorBmp(dir + "/Maps/cave.bmp", 2000, 40, 160);
    return dir;
}

// Runs the script and returns the shots taken at the given dispatches.
struct Session {
    SimResult result;
    std::vector<Shot> shots;
};

Session RunShots(const std::string& game, const std::string& script, const std::vector<int>& at, int until) {
    std::string work = MakeTempDir("quillrun-shots");
    std::vector<std::string> args = {"--until", std::to_string(until)};
    for (int n : at) {
        args.push_back("--shot");
        args.push_back(std::to_string(n) + ":" + work + "/" + std::to_string(n) + ".png");
    }
    Session s;
    s.result = RunSim(game, script, args);
    for (int n : at) s.shots.push_back(LoadShot(work + "/" + std::to_string(n) + ".png"));
    RemoveTree(work);
    return s;
}

// Ink of a text drawn alone by this process's font layer.
struct Reference {
    std::unique_ptr<Surface, void (*)(Surface*)> surface{CreateSurface(kFieldWidth, kFieldHeight), DestroySurface};
    void Add(const std::string& text, int x, int y, int size, bool bold, uint32_t colour) {
        MainField.fontSize = size;
        MainField.fontBold = bold;
        MainField.foreColor = colour;
        TextOutA(surface.get(), x, y, text.data(), static_cast<int>(text.size()));
    }
};

::testing::AssertionResult SameInk(const Shot& shot, const Reference& r, uint32_t colour, int x0, int y0, int x1,
                                   int y1) {
    int diff = 0, ink = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            bool a = shot.At(x, y) == colour;
            bool b = GetPixel(r.surface.get(), x, y) == colour;
            ink += b;
            diff += a != b;
        }
    if (ink == 0) return ::testing::AssertionFailure() << "no reference ink";
    if (diff != 0) return ::testing::AssertionFailure() << diff << " pixels differ";
    return ::testing::AssertionSuccess();
}

class ScreensDriver : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(InitPlayField(&error)) << error;
        game_ = GameWithMaps(5);
    }
    void TearDown() override { RemoveTree(game_); }
    std::string game_;
};

TEST_F(ScreensDriver, DownMovesTheHighlightedRow) {
    // A held key is seen by the next pass; its release clears the flag.
    Session s = RunShots(game_, "1 down DOWN\n3 up DOWN\n", {1, 5}, 6);
    ASSERT_EQ(s.result.status, 0) << s.result.err;
    ASSERT_EQ(s.shots.size(), 2u);
    ASSERT_EQ(s.shots[1].width, kFieldWidth);
    EXPECT_EQ(s.result.trace.back().selectedMap, 2);
    for (int i = 0; i < 2; ++i) {
        const Shot& shot = s.shots[i];
        const int selected = i == 0 ? 1 : 2;
        Reference r;
        for (int k = 1; k <= 5; ++k) {
            char text[16];
            std::snprintf(text, sizeof text, "%02d) Cave %02d", k, k);
            bool isSelected = k == selected;
            r.Add(text, 5, 95 + 12 * (k - selected), 8, isSelected, isSelected ? kPaleBlueWhite : kLightBlue);
        }
        SCOPED_TRACE(selected);
        // The highlighted row lies between the lines at y = 96 and 108.
        EXPECT_TRUE(SameInk(shot, r, kPaleBlueWhite, 0, 0, kFieldWidth, kFieldHeight));
        EXPECT_EQ(shot.Count(kPaleBlueWhite, 0, 0, kFieldWidth, 97), 0);
        EXPECT_EQ(shot.Count(kPaleBlueWhite, 0, 108, kFieldWidth, kFieldHeight), 0);
        EXPECT_EQ(shot.Count(kLightBlue, 0, 96, 319, 97), 319);
        EXPECT_EQ(shot.Count(kLightBlue, 0, 108, 319, 109), 319);
        if (selected == 1) {
            EXPECT_EQ(shot.Count(kLightBlue, 0, 20, 319, 96), 0) << "no rows above map 1";
        } else {
            EXPECT_TRUE(SameInk(shot, r, kLightBlue, 0, 20, 319, 96));
        }
        EXPECT_TRUE(SameInk(shot, r, kLightBlue, 0, 109, 319, kFieldHeight));
    }
}

TEST_F(ScreensDriver, RunShowsTheStatusLine) {
    Session s = RunShots(game_, "1 tap ENTER\n", {3}, 4);
    ASSERT_EQ(s.result.status, 0) << s.result.err;
    const Shot& shot = s.shots[0];
    ASSERT_EQ(shot.width, kFieldWidth);
    // Waiting for the first steering key: full shield, fuel 201 after an idle frame.
    Reference r;
    r.Add("Shield:", 3, 200, 8, false, kYellow);
    r.Add("Extra Fuel:", 170, 200, 8, false, kYellow);
    r.Add("Score: 0", 360, 200, 8, false, kYellow);
    const std::string bar(50, '|');
    r.Add(bar, 40, 200, 8, false, kBlue);
    r.Add(bar, 227, 200, 8, false, kBlue);
    EXPECT_TRUE(SameInk(shot, r, kBlue, 0, 201, kFieldWidth, kFieldHeight));
    EXPECT_TRUE(SameInk(shot, r, kYellow, 40, 201, kFieldWidth, kFieldHeight));
    EXPECT_EQ(shot.Count(kLightBlue, 0, 200, kFieldWidth, 201), kFieldWidth);
    EXPECT_EQ(shot.Count(kWhite, 0, 201, kFieldWidth, kFieldHeight), 0) << "bars fully filled";
}

TEST_F(ScreensDriver, PauseShowsJitteredMessageOverTheView) {
    Session s = RunShots(game_, "1 tap ENTER\n3 tap P\n8 tap P\n", {6, 10}, 11);
    ASSERT_EQ(s.result.status, 0) << s.result.err;
    const Shot& paused = s.shots[0];
    ASSERT_EQ(paused.width, kFieldWidth);
    EXPECT_GT(paused.Count(kYellow, 185, 55, 440, 130), 0);
    EXPECT_GT(paused.Count(kRed, 185, 55, 440, 130), 0);
    EXPECT_EQ(paused.Count(kRed, 0, 0, 185, 200) + paused.Count(kRed, 440, 0, kFieldWidth, 200), 0);
    // Unpaused, the field is cleared and the view drawn again.
    EXPECT_EQ(s.shots[1].Count(kRed, 185, 55, 440, 130), 0);
}

TEST_F(ScreensDriver, HelpHidesTheListAndIgnoresUpDown) {
    Session s = RunShots(game_, "1 tap H\n2 down DOWN\n4 up DOWN\n5 down UP\n7 up UP\n8 tap H\n", {6, 10}, 11);
    ASSERT_EQ(s.result.status, 0) << s.result.err;
    const Shot& help = s.shots[0];
    ASSERT_EQ(help.width, kFieldWidth);
    EXPECT_EQ(help.Count(kHelpGrey, 0, 0, kFieldWidth, kFieldHeight), kFieldWidth * kFieldHeight);
    for (const auto& line : s.result.trace) EXPECT_EQ(line.selectedMap, 1) << "dispatch " << line.dispatch;
    // Closed again: the list with map 1 highlighted.
    EXPECT_GT(s.shots[1].Count(kPaleBlueWhite, 5, 97, 100, 108), 0);
}

}  // namespace
