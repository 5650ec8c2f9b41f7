#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "field_probe.h"
#include "platform/platform.h"
#include "screens/flight_display.h"

namespace {

using probe::Box;

const std::string kBar(50, '|');
constexpr int kStatusTop = 201;  // row 200 belongs to the border line
const Box kShieldBarBox{40, kStatusTop, 168, kFieldHeight};   // up to the fuel label
const Box kFuelBarBox{227, kStatusTop, 358, kFieldHeight};    // up to the score text
const Box kIndicatorBox{460, kStatusTop, kFieldWidth, kFieldHeight};

// A run in progress with the start values.
void PrepareRun() {
    probe::PrepareField();
    gs.playing = kTrue;
    gs.shieldMax = 100;
    gs.shield = 100;
    gs.fuelMax = 200;
    gs.fuel = 200;
    gs.turboMinShield = 30;
    gs.shipX = 30;
    gs.selectedMap = 1;
    gs.maps[1].file = "Cave.bmp";
}

int BarWidth(int units) { return probe::WidthOf(kBar.substr(0, units), 8, false); }

// The filled part ends with the last of `units` bar characters at x0.
void ExpectFill(int x0, int units, int x1) {
    const Box blueBox{x0, kStatusTop, x1, kFieldHeight};
    if (units == 0) {
        EXPECT_EQ(probe::Count(kBlue, blueBox), 0);
        return;
    }
    int right = probe::MaxX(kBlue, blueBox);
    EXPECT_GE(right, x0 + BarWidth(units - 1)) << units << " units";
    EXPECT_LT(right, x0 + BarWidth(units)) << units << " units";
}

struct ShieldCase {
    float shield;
    uint32_t background;
    int units;
};

TEST(FlightDisplayBars, ShieldColourAndFill) {
    const std::vector<ShieldCase> cases = {
        {100, kWhite, 50}, {29.9f, kYellow, 14}, {9.5f, kRed, 4}, {30, kWhite, 15}, {99, kWhite, 49},
        {1000, kWhite, 50}};  // beyond any run's shield: the bar string is never overread
    for (const ShieldCase& c : cases) {
        SCOPED_TRACE(c.shield);
        PrepareRun();
        gs.shield = c.shield;
        DrawFlightDisplay();
        ExpectFill(40, c.units, 168);
        for (uint32_t other : {kWhite, kYellow, kRed}) {
            if (other != c.background) {
                EXPECT_EQ(probe::Count(other, kShieldBarBox), 0);
            }
        }
        const Box rest{40 + BarWidth(c.units), kStatusTop, 168, kFieldHeight};
        if (c.units < 50) {
            EXPECT_GT(probe::Count(c.background, rest), 0);
            EXPECT_EQ(probe::Count(kBlue, rest), 0);
        } else {
            EXPECT_EQ(probe::Count(c.background, kShieldBarBox), 0) << "fully covered by the fill";
        }
    }
}

struct FuelCase {
    float fuel;
    float shield;
    Flag brake;
    uint32_t background;
    int units;
};

TEST(FlightDisplayBars, FuelFillAndWarning) {
    const std::vector<FuelCase> cases = {
        {0, 20, 0, kWhite, 0},          // empty tank: no warning even with a weak shield
        {2, 100, 0, kWhite, 0},         // 2 / 4 rounds down to nothing
        {199.5f, 100, 0, kWhite, 50},   // rounds to 200
        {201, 100, 0, kWhite, 50},      // after an idle frame
        {100, 20, 0, kRed, 25},         // weak shield: red warning
        {100, 30, kTrue, kYellow, 25},  // at the limit, brake held: yellow
        {100, 31, 0, kWhite, 25},       // above the limit: no warning
        {6, 10, 0, kRed, 1},
    };
    for (const FuelCase& c : cases) {
        SCOPED_TRACE(c.fuel);
        SCOPED_TRACE(c.shield);
        PrepareRun();
        gs.fuel = c.fuel;
        gs.shield = c.shield;
        gs.brakeHeld = c.brake;
        DrawFlightDisplay();
        ExpectFill(227, c.units, 358);
        for (uint32_t other : {kWhite, kYellow, kRed}) {
            if (other != c.background) {
                EXPECT_EQ(probe::Count(other, kFuelBarBox), 0);
            }
        }
        if (c.units < 50) {
            const Box rest{227 + BarWidth(c.units), kStatusTop, 358, kFieldHeight};
            EXPECT_GT(probe::Count(c.background, rest), 0);
        }
    }
}

struct ScoreCase {
    float score;
    float bonus;
    Flag brake;
    Flag turbo;
    std::string text;
};

TEST(FlightDisplayScore, BonusSuffixForms) {
    const std::vector<ScoreCase> cases = {
        {834.7f, 12, 0, 0, "Score: 834 (+12)"},
        {834.7f, 5, kTrue, 0, "Score: 834 (+2)"},
        {834.7f, 5, 0, kTrue, "Score: 834 (+12.5)"},
        {834.7f, 5, 0, 0, "Score: 834 (+5)"},
        {834.7f, 5, kTrue, kTrue, "Score: 834 (+2)"},  // brake wins over turbo
        {834.7f, 0, 0, kTrue, "Score: 834"},
        {12, -3, 0, 0, "Score: 12"},
        {0, 1, kTrue, 0, "Score: 0 (+0)"},
        {99.99f, 0.1f, 0, 0, "Score: 99 (+0.1)"},
        {99.99f, 0.1f, 0, kTrue, "Score: 99 (+0.2500000037252903)"},  // 2.5 times the stored float
    };
    for (const ScoreCase& c : cases) {
        SCOPED_TRACE(c.text);
        PrepareRun();
        gs.score = c.score;
        gs.narrowBonus = c.bonus;
        gs.brakeHeld = c.brake;
        gs.turboHeld = c.turbo;
        DrawFlightDisplay();
        probe::Reference expected(c.text, 360, 200, 8, false, kYellow);
        EXPECT_TRUE(probe::SameInk(MainField.image, expected.surface, kYellow,
                                   {300, kStatusTop, kFieldWidth, kFieldHeight}));
    }
}

// The indicator's text, found by comparing the drawn ink with each candidate.
std::string IndicatorText(uint32_t colour) {
    const std::vector<std::string> candidates = {
        "BROKEN RECORD", "Chance: SMALL", "Chance: MEDIUM", "Chance: BIG", "Chance: VERY BIG",
        "Losing: SMALL", "Losing: MEDIUM", "Losing: BIG",   "Losing: VERY BIG"};
    if (probe::Count(colour, kIndicatorBox) == 0) return "";
    std::string found = "?";
    for (const std::string& c : candidates) {
        probe::Reference r(c, 460, 200, 8, true, colour);
        if (probe::SameInk(MainField.image, r.surface, colour, kIndicatorBox)) {
            found = c;
            // The right edge of the ink lies within the candidate's drawn width.
            EXPECT_LT(probe::MaxX(colour, kIndicatorBox), 460 + probe::WidthOf(c, 8, true));
        }
    }
    return found;
}

struct RaceCase {
    float score;
    float best;
    float shipX;
    int atFloor;  // bestRun at the whole ship x
    int atNear;   // bestRun at the rounded ship x
    uint32_t colour;
    std::string text;
};

TEST(FlightDisplayRecord, IndicatorColourAndText) {
    const std::vector<RaceCase> cases = {
        {600.5f, 500, 30, 100, 100, kGreen, "BROKEN RECORD"},
        {300, 500, 30, 299, 299, kYellow, "Chance: SMALL"},
        {300, 500, 30, 267, 267, kYellow, "Chance: SMALL"},     // 33 ahead
        {300, 500, 30, 266, 266, kYellow, "Chance: MEDIUM"},    // 34
        {300, 500, 30, 234, 234, kYellow, "Chance: MEDIUM"},    // 66
        {300, 500, 30, 233, 233, kYellow, "Chance: BIG"},       // 67
        {300, 500, 30, 200, 200, kYellow, "Chance: BIG"},       // 100
        {300, 500, 30, 199, 199, kYellow, "Chance: VERY BIG"},  // 101
        {300, 500, 30, 301, 301, kRed, "Losing: SMALL"},
        {300, 500, 30, 334, 334, kRed, "Losing: MEDIUM"},
        {300, 500, 30, 367, 367, kRed, "Losing: BIG"},
        {300, 500, 30, 401, 401, kRed, "Losing: VERY BIG"},
        {300.9f, 500, 30, 300, 300, 0, ""},  // equal to the best run here: nothing
        // The record test reads the whole x, the race the rounded x.
        {600, 500, 30.6f, 100, 700, kGreen, "BROKEN RECORD"},
        {600, 650, 30.6f, 100, 700, kRed, "Losing: BIG"},
        // Halves round to even: 32.5 reads entry 32, 33.5 entry 34.
        {300, 1000, 32.5f, 250, 250, kYellow, "Chance: MEDIUM"},
        {300, 1000, 33.5f, 250, 500, kRed, "Losing: VERY BIG"},
        // No entry at x (0): any positive score is ahead there.
        {5, 500, 30, 0, 0, kYellow, "Chance: SMALL"},
    };
    for (const RaceCase& c : cases) {
        SCOPED_TRACE(c.text + " at score " + std::to_string(c.score));
        PrepareRun();
        gs.score = c.score;
        gs.maps[1].scoreBest = c.best;
        gs.shipX = c.shipX;
        gs.bestRun[static_cast<int>(std::floor(c.shipX))] = static_cast<int16_t>(c.atFloor);
        gs.bestRun[static_cast<int>(std::nearbyint(c.shipX))] = static_cast<int16_t>(c.atNear);
        DrawFlightDisplay();
        for (uint32_t colour : {kGreen, kYellow, kRed}) {
            EXPECT_EQ(IndicatorText(colour), colour == c.colour ? c.text : "") << std::hex << colour;
        }
        EXPECT_FALSE(MainField.fontBold);
    }
}

TEST(FlightDisplayRecord, NoRecordYetDrawsNoText) {
    for (int atX : {0, 100, 700}) {
        PrepareRun();
        gs.maps[1].scoreBest = 0;
        gs.score = 300;
        gs.bestRun[30] = static_cast<int16_t>(atX);
        DrawFlightDisplay();
        for (uint32_t colour : {kGreen, kYellow, kRed}) EXPECT_EQ(probe::Count(colour, kIndicatorBox), 0);
    }
}

TEST(FlightDisplayRecord, DebugShowsFrameRateInstead) {
    PrepareRun();
    gs.debugDraw = kTrue;
    gs.fps = 64;
    gs.maps[1].scoreBest = 500;
    gs.score = 600;
    DrawFlightDisplay();
    probe::Reference fps("FPS: 64", 550, 200, 8, false, kYellow);
    EXPECT_TRUE(probe::SameInk(MainField.image, fps.surface, kYellow, {540, kStatusTop, kFieldWidth, kFieldHeight}));
    for (uint32_t colour : {kGreen, kYellow, kRed}) EXPECT_EQ(probe::Count(colour, {460, kStatusTop, 540, kFieldHeight}), 0);
}

TEST(FlightDisplayMessages, CollisionHasAShadow) {
    PrepareRun();
    gs.colliding = kTrue;
    MainField.fontBold = false;
    DrawFlightDisplay();
    probe::Reference r("COLLISION", 10, 10, 10, false, kYellow);
    r.Add("COLLISION", 11, 11, 10, false, kRed);
    const Box box{0, 0, 200, 60};
    EXPECT_TRUE(probe::SameInk(MainField.image, r.surface, kYellow, box));
    EXPECT_TRUE(probe::SameInk(MainField.image, r.surface, kRed, box));

    PrepareRun();
    DrawFlightDisplay();
    EXPECT_EQ(probe::Count(kYellow, box) + probe::Count(kRed, box), 0);
}

TEST(FlightDisplayMessages, PausedJitterTakesFourRandomNumbers) {
    for (uint32_t seed : {3u, 11u, 12345u}) {
        SCOPED_TRACE(seed);
        PrepareRun();
        gs.paused = kTrue;
        PlatformSeedRandom(seed);
        int j[4];
        for (int& v : j) v = PlatformRandom() < 0.5 ? 0 : 1;
        const double fifth = PlatformRandom();
        PlatformSeedRandom(seed);
        DrawFlightDisplay();
        EXPECT_EQ(PlatformRandom(), fifth);
        // Drawn in the weight in force (the field starts bold).
        probe::Reference r("PAUSED", 190 + j[0], 60 + j[1], 40, true, kYellow);
        r.Add("PAUSED", 190 + j[2], 60 + j[3], 40, true, kRed);
        const Box box{100, 30, 500, 199};
        EXPECT_TRUE(probe::SameInk(MainField.image, r.surface, kYellow, box));
        EXPECT_TRUE(probe::SameInk(MainField.image, r.surface, kRed, box));
    }
}

TEST(FlightDisplayMessages, PauseNeedsTrueFlag) {
    for (Flag paused : {Flag(0), Flag(1)}) {
        PrepareRun();
        gs.paused = paused;
        PlatformSeedRandom(5);
        const double first = PlatformRandom();
        PlatformSeedRandom(5);
        DrawFlightDisplay();
        EXPECT_EQ(PlatformRandom(), first) << "no random number taken";
        EXPECT_EQ(probe::Count(kRed, {100, 30, 500, 199}), 0);
    }
}

TEST(FlightDisplayLayout, LabelsBorderAndWeight) {
    PrepareRun();
    MainField.fontBold = true;
    DrawFlightDisplay();
    // "Shield:" takes the weight in force, then bold goes off for the rest.
    probe::Reference labels("Shield:", 3, 200, 8, true, kYellow);
    labels.Add("Extra Fuel:", 170, 200, 8, false, kYellow);
    EXPECT_TRUE(probe::SameInk(MainField.image, labels.surface, kYellow, {0, kStatusTop, 40, kFieldHeight}));
    EXPECT_TRUE(probe::SameInk(MainField.image, labels.surface, kYellow, {168, kStatusTop, 227, kFieldHeight}));
    // The border: one full light blue row at y = 200, pen width 1.
    EXPECT_EQ(probe::Count(kLightBlue, {0, 200, kFieldWidth, 201}), kFieldWidth);
    EXPECT_EQ(probe::Count(kLightBlue, {0, 199, kFieldWidth, 200}), 0);
    EXPECT_EQ(probe::Count(kLightBlue, {0, 201, kFieldWidth, kFieldHeight}), 0);
    EXPECT_EQ(MainField.drawWidth, 1);
    EXPECT_FALSE(MainField.fontBold);
    EXPECT_EQ(MainField.fontSize, 8);
    // Nothing above the status line without messages.
    EXPECT_EQ(probe::Count(0, {0, 0, kFieldWidth, 200}), kFieldWidth * 200);
}

TEST(FlightDisplayLayout, OddValuesDoNotFault) {
    PrepareRun();
    gs.shieldMax = 0;      // no divisor for the bar scale
    gs.fuelMax = 10;
    gs.shield = -5;
    gs.fuel = 1e30f;
    gs.shipX = -400;       // outside the best-run table
    gs.selectedMap = 77;   // outside the catalogue
    gs.score = 3e38f;
    gs.narrowBonus = 1e-45f;
    gs.turboHeld = kTrue;
    DrawFlightDisplay();
    gs.shipX = 1e9f;
    gs.selectedMap = -3;
    DrawFlightDisplay();
    EXPECT_EQ(probe::Count(kLightBlue, {0, 200, kFieldWidth, 201}), kFieldWidth);
}

}  // namespace
