#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "field_probe.h"
#include "platform/platform.h"
#include "screens/selection_screen.h"

namespace {

using probe::Box;

// Dark colours only, so no background pixel equals a text colour.
uint32_t BackgroundAt(int x, int y) { return static_cast<uint32_t>((x * 7 + y * 131) % 0x3F) * 0x010101u; }
uint32_t HelpAt(int x, int y) { return 0x200000u + static_cast<uint32_t>((x + 3 * y) % 0xFF); }

std::string MapName(int k) { return "Cave " + std::string(static_cast<size_t>(k % 5 + 1), 'a' + k % 26); }

// A catalogue of `count` maps; map k has best score `score(k)` by "Me".
void PrepareSelection(int count, int selected, int (*score)(int) = nullptr) {
    probe::PrepareField();
    gs.mapListRows = 15;
    gs.selectedMap = static_cast<int16_t>(selected);
    for (int k = 1; k <= count; ++k) {
        gs.maps[k].file = "Map" + std::to_string(k) + ".bmp";
        gs.maps[k].name = MapName(k);
        gs.maps[k].scoreBest = score ? static_cast<float>(score(k)) : 0.0f;
        gs.maps[k].scoreName = "Me";
    }
    gs.backgroundSurface = CreateSurface(622, 216);
    for (int y = 0; y < 216; ++y)
        for (int x = 0; x < 622; ++x) SetPixel(gs.backgroundSurface, x, y, BackgroundAt(x, y));
    MainField.foreColor = kWhite;  // the title's colour, apart from the list's
}

std::string ScoreText(int k) {
    float best = gs.maps[k].scoreBest;
    std::string digits = std::to_string(static_cast<long long>(best));
    if (digits.size() < 2) digits = "0" + digits;
    return digits + " by " + gs.maps[k].scoreName;
}

// Checks each list slot from six above the selected row to the bottom of the
// field: drawn rows match their texts exactly, the others hold no list ink.
void ExpectRows(const std::vector<int>& drawn, const std::vector<int>& withScore) {
    const int selected = gs.selectedMap;
    EXPECT_EQ(probe::Count(kLightBlue, {0, 0, 319, 23}), 0) << "no row above y = 23";
    for (int offset = -6; 95 + 12 * offset + 1 < kFieldHeight; ++offset) {
        const int k = selected + offset;
        const int y = 95 + 12 * offset;
        const Box box{0, y + 1, 319, y + 12};  // clear of the neighbouring rows and the divider
        SCOPED_TRACE("map " + std::to_string(k) + " at y " + std::to_string(y));
        const bool isDrawn = std::find(drawn.begin(), drawn.end(), k) != drawn.end();
        const bool selectedRow = k == selected;
        const uint32_t colour = selectedRow ? kPaleBlueWhite : kLightBlue;
        if (!isDrawn) {
            EXPECT_EQ(probe::Count(kLightBlue, box, MainField.image) - (y + 1 <= 96 && 96 < y + 12 ? 319 : 0) -
                          (y + 1 <= 108 && 108 < y + 12 ? 319 : 0),
                      0);
            continue;
        }
        char number[8];
        std::snprintf(number, sizeof number, "%02d", k);
        probe::Reference r(std::string(number) + ") " + gs.maps[k].name, 5, y, 8, selectedRow, colour);
        if (std::find(withScore.begin(), withScore.end(), k) != withScore.end())
            r.Add(ScoreText(k), 150, y, 8, selectedRow, colour);
        EXPECT_TRUE(probe::SameInk(MainField.image, r.surface, colour, box, {96, 108}));
    }
}

std::vector<int> Range(int from, int to) {
    std::vector<int> v;
    for (int k = from; k <= to; ++k) v.push_back(k);
    return v;
}

TEST(SelectionSteps, WrapAtBothEnds) {
    PrepareSelection(7, 1);
    gs.thrustUpHeld = kTrue;
    DrawSelectionScreen();
    EXPECT_EQ(gs.selectedMap, 7);
    EXPECT_EQ(gs.thrustUpHeld, 0);
    gs.thrustDownHeld = kTrue;
    DrawSelectionScreen();
    EXPECT_EQ(gs.selectedMap, 1);
    EXPECT_EQ(gs.thrustDownHeld, 0);
    gs.thrustDownHeld = kTrue;
    DrawSelectionScreen();
    EXPECT_EQ(gs.selectedMap, 2);
    gs.thrustUpHeld = kTrue;
    DrawSelectionScreen();
    EXPECT_EQ(gs.selectedMap, 1);
    // Without a raised flag nothing moves.
    DrawSelectionScreen();
    EXPECT_EQ(gs.selectedMap, 1);
}

TEST(SelectionSteps, UpThenDownInOnePass) {
    PrepareSelection(7, 1);
    gs.thrustUpHeld = kTrue;
    gs.thrustDownHeld = kTrue;
    DrawSelectionScreen();  // up wraps to 7, down wraps back to 1
    EXPECT_EQ(gs.selectedMap, 1);
    gs.selectedMap = 4;
    gs.thrustUpHeld = kTrue;
    gs.thrustDownHeld = kTrue;
    DrawSelectionScreen();
    EXPECT_EQ(gs.selectedMap, 4);
}

TEST(SelectionSteps, FiftyMapsAndEmptyCatalogue) {
    PrepareSelection(50, 50);
    gs.thrustDownHeld = kTrue;
    DrawSelectionScreen();
    EXPECT_EQ(gs.selectedMap, 1);
    gs.thrustUpHeld = kTrue;
    DrawSelectionScreen();
    EXPECT_EQ(gs.selectedMap, 50);

    PrepareSelection(0, 1);
    gs.thrustUpHeld = kTrue;
    DrawSelectionScreen();
    EXPECT_EQ(gs.selectedMap, 0);
    gs.thrustDownHeld = kTrue;
    DrawSelectionScreen();
    EXPECT_EQ(gs.selectedMap, 1);
    EXPECT_EQ(probe::Count(kLightBlue, {0, 20, 300, 216}), 2 * 300) << "only the two row lines";
}

TEST(SelectionSteps, CatalogueWithAGapEndsAtTheGap) {
    PrepareSelection(7, 3);
    gs.maps[5].file.clear();
    gs.thrustUpHeld = kTrue;
    gs.selectedMap = 1;
    DrawSelectionScreen();
    EXPECT_EQ(gs.selectedMap, 7) << "up from 1 takes the highest entry with a file";
    gs.selectedMap = 4;
    gs.thrustDownHeld = kTrue;
    DrawSelectionScreen();
    EXPECT_EQ(gs.selectedMap, 1);
}

TEST(SelectionList, SevenMapsFromTheTop) {
    PrepareSelection(7, 1, [](int k) { return k == 1 ? 7 : (k == 3 ? 725 : 0); });
    DrawSelectionScreen();
    ExpectRows(Range(1, 7), {1, 3});
    // After the wrap the last map is selected and the others sit above it.
    gs.thrustUpHeld = kTrue;
    FillSurface(MainField.image, 0);
    MainField.foreColor = kWhite;
    DrawSelectionScreen();
    ASSERT_EQ(gs.selectedMap, 7);
    ExpectRows(Range(1, 7), {1, 3});
}

TEST(SelectionList, MapTenOfThirty) {
    PrepareSelection(30, 10, [](int k) { return 100 + k; });
    DrawSelectionScreen();
    // Rows 4 to 25 are drawn; those from map 21 on lie below the field.
    ExpectRows(Range(4, 25), Range(4, 20));
}

TEST(SelectionList, MapFiftyOfFifty) {
    PrepareSelection(50, 50, [](int k) { return k; });
    DrawSelectionScreen();
    ExpectRows(Range(44, 50), Range(44, 50));
}

TEST(SelectionList, MapTwoHasMapOneAbove) {
    PrepareSelection(3, 2, [](int) { return 0; });
    DrawSelectionScreen();
    ExpectRows({1, 2, 3}, {});
    EXPECT_GE(probe::MinY(kLightBlue, {5, 83, 320, 95}), 83);
    EXPECT_GT(probe::Count(kLightBlue, {5, 83, 320, 95}), 0);
}

TEST(SelectionList, SelectedRowIsBoldBetweenTheLines) {
    PrepareSelection(12, 6, [](int k) { return k * 10; });
    DrawSelectionScreen();
    const Box all{0, 0, kFieldWidth, kFieldHeight};
    ASSERT_GT(probe::Count(kPaleBlueWhite, all), 0);
    EXPECT_GT(probe::MinY(kPaleBlueWhite, all), 96);
    EXPECT_LT(probe::MaxY(kPaleBlueWhite, all), 108);
    EXPECT_LT(probe::MaxX(kPaleBlueWhite, all), 320);
    // Bold is wider than the plain weight of the same text.
    const std::string text = "06) " + gs.maps[6].name;
    EXPECT_GT(probe::WidthOf(text, 8, true), probe::WidthOf(text, 8, false));
    // The two row lines, pen width 1, and the divider, pen width 2.
    EXPECT_EQ(probe::Count(kLightBlue, {0, 96, 320, 97}), 320);
    EXPECT_EQ(probe::Count(kLightBlue, {0, 108, 320, 109}), 320);
    EXPECT_EQ(probe::Count(kLightBlue, {0, 95, 5, 96}) + probe::Count(kLightBlue, {0, 97, 5, 108}), 0);
    EXPECT_EQ(probe::Count(kLightBlue, {319, 0, 321, 216}), 2 * 216);
    EXPECT_EQ(probe::Count(kLightBlue, {321, 0, 322, 216}), 0);
    EXPECT_EQ(MainField.drawWidth, 1);
    EXPECT_EQ(MainField.foreColor, kLightBlue);
}

TEST(SelectionList, LongNamesAreWipedRightOfTheDivider) {
    PrepareSelection(3, 2);
    gs.maps[1].name = std::string(300, 'W');
    gs.maps[2].name = std::string(1000, 'M');
    gs.maps[1].scoreBest = 5;
    gs.maps[1].scoreName = std::string(400, 'X');
    DrawSelectionScreen();
    // The right pane is the background from one column further right.
    for (int y = 0; y < 216; ++y)
        for (int x = 321; x < 330; ++x) ASSERT_EQ(probe::At(MainField.image, x, y), BackgroundAt(x + 1, y)) << x << "," << y;
    // Left of the texts the background shows unchanged, except the row lines.
    for (int y = 0; y < 216; ++y)
        for (int x = 0; x < 5; ++x)
            if (y != 96 && y != 108) {
                ASSERT_EQ(probe::At(MainField.image, x, y), BackgroundAt(x, y));
            }
}

TEST(SelectionScreen, FixedTextsAndTheTitleColour) {
    for (uint32_t seed : {9u, 3u, 12345u}) {
        SCOPED_TRACE(seed);
        PrepareSelection(2, 1);
        gs.lastScore = 1234;
        MainField.foreColor = kGreen;  // the title takes the colour left in force
        PlatformSeedRandom(seed);
        int j[5];
        for (int& v : j) v = PlatformRandom() < 0.5 ? 0 : 1;
        const double sixth = PlatformRandom();
        PlatformSeedRandom(seed);
        DrawSelectionScreen();
        EXPECT_EQ(PlatformRandom(), sixth) << "five random numbers per pass";

        probe::Reference title("Select Map:     [Press R for Replay - Best score of selected map]", 5, 5, 8, false, kGreen);
        EXPECT_TRUE(probe::SameInk(MainField.image, title.surface, kGreen, {0, 0, 319, 20}));

        probe::Reference pane("Press 'H' for help", 510, 5, 8, false, kLightBlue);
        pane.Add("Score from last game: 1234", 330, 20, 8, false, kLightBlue);
        pane.Add("TO PLAY", 425, 110 + j[4], 14, false, kLightBlue);
        pane.Add("Press 'U' to upload selected score!", 330, 5, 8, false, kLightBlue);
        pane.Add("Thrusters Up: UP or SPACE", 330, 154, 8, false, kLightBlue);
        pane.Add("Thrusters Down: DOWN", 330, 168, 8, false, kLightBlue);
        pane.Add("Brake: LEFT", 330, 182, 8, false, kLightBlue);
        pane.Add("Turbo: RIGHT", 330, 196, 8, false, kLightBlue);
        EXPECT_TRUE(probe::SameInk(MainField.image, pane.surface, kLightBlue, {322, 0, kFieldWidth, kFieldHeight}));

        probe::Reference prompt("PRESS ENTER", 350 + j[0], 70 + j[1], 24, false, kYellow);
        prompt.Add("PRESS ENTER", 350 + j[2], 70 + j[3], 24, false, kBlue);
        EXPECT_TRUE(probe::SameInk(MainField.image, prompt.surface, kYellow, {322, 0, kFieldWidth, kFieldHeight}));
        EXPECT_TRUE(probe::SameInk(MainField.image, prompt.surface, kBlue, {322, 0, kFieldWidth, kFieldHeight}));
        EXPECT_FALSE(MainField.fontBold);
        EXPECT_EQ(MainField.fontSize, 8);
    }
}

TEST(SelectionScreen, NoLastScoreAtZeroOrBelow) {
    for (int16_t last : {int16_t(0), int16_t(-5)}) {
        PrepareSelection(2, 1);
        gs.lastScore = last;
        DrawSelectionScreen();
        // Between the top hints (to y 17) and the prompt (from y 70).
        EXPECT_EQ(probe::Count(kLightBlue, {322, 20, kFieldWidth, 60}), 0);
    }
}

TEST(HelpScreen, CopiesTheHelpPictureAndHidesTheList) {
    PrepareSelection(7, 3);
    gs.helpSurface = CreateSurface(700, 300);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 700; ++x) SetPixel(gs.helpSurface, x, y, HelpAt(x, y));
    gs.helpShown = kTrue;
    gs.thrustUpHeld = kTrue;
    gs.thrustDownHeld = kTrue;
    PlatformSeedRandom(4);
    const double first = PlatformRandom();
    PlatformSeedRandom(4);
    // The main loop's order on a help pass.
    DrawHelpScreen();
    DrawSelectionScreen();
    for (int y = 0; y < kFieldHeight; ++y)
        for (int x = 0; x < kFieldWidth; ++x) ASSERT_EQ(probe::At(MainField.image, x, y), HelpAt(x, y)) << x << "," << y;
    EXPECT_EQ(gs.selectedMap, 3);
    EXPECT_EQ(gs.thrustUpHeld, kTrue);
    EXPECT_EQ(gs.thrustDownHeld, kTrue);
    EXPECT_EQ(PlatformRandom(), first);
    // Once the help is closed the pending steps apply: up then down.
    gs.helpShown = 0;
    DrawSelectionScreen();
    EXPECT_EQ(gs.selectedMap, 3);
    EXPECT_EQ(gs.thrustUpHeld, 0);
    EXPECT_EQ(gs.thrustDownHeld, 0);
}

TEST(HelpScreen, MissingPicturesDrawNothing) {
    PrepareSelection(2, 1);
    DestroySurface(gs.backgroundSurface);
    gs.backgroundSurface = nullptr;
    FillSurface(MainField.image, 0x010203);
    DrawHelpScreen();
    EXPECT_EQ(probe::At(MainField.image, 0, 0), 0x010203u);
    DrawSelectionScreen();  // texts and lines over the old field
    EXPECT_EQ(probe::At(MainField.image, 1, 1), 0x010203u);
    EXPECT_EQ(probe::At(MainField.image, 320, 0), kLightBlue);
}

}  // namespace
