// A run's display: COLLISION and PAUSED over the view, the status line with
// the race against the best run or the frame rate, and the border line.
// SPDX-License-Identifier: MIT
#include "screens/flight_display.h"

#include <cmath>

#include "base/conversions.h"
#include "base/game_state.h"
#include "base/geometry.h"
#include "gfx/field_text.h"
#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "screens/screen_text.h"
#include "screens/status_line.h"

namespace {

constexpr char kCollision[] = "COLLISION";
constexpr char kPaused[] = "PAUSED";
constexpr char kBrokenRecord[] = "BROKEN RECORD";

// The race texts, ahead and behind, by margin: SMALL, MEDIUM, BIG, VERY BIG.
struct FixedText {
    const char* text;
    int length;
};
constexpr FixedText kChance[4] = {
    {"Chance: SMALL", 13}, {"Chance: MEDIUM", 14}, {"Chance: BIG", 11}, {"Chance: VERY BIG", 16}};
constexpr FixedText kLosing[4] = {
    {"Losing: SMALL", 13}, {"Losing: MEDIUM", 14}, {"Losing: BIG", 11}, {"Losing: VERY BIG", 16}};

// The best run's score at a whole ship x. The ship stays in view, so x is
// within the table; anything else reads as "no entry" (0).
int BestRunAt(double x) {
    if (!(x >= 0 && x <= kMaxFrames)) return 0;
    return gs.bestRun[static_cast<int>(x)];
}

// Word index of the margin: each later threshold replaces the earlier one.
int MarginWord(double d) {
    double a = std::fabs(d);
    int word = 0;
    if (a > 33) word = 1;
    if (a > 66) word = 2;
    if (a > 100) word = 3;
    return word;
}

uint32_t ShieldBarColour() {
    const int32_t level = DivideTruncated(WholeInt32(static_cast<double>(gs.shield)),
                                          Near(static_cast<double>(gs.shieldMax)) / 100);
    return level < 10 ? kRed : (level < 30 ? kYellow : kWhite);
}

int ShieldUnits() {
    return DivideTruncated(WholeInt32(static_cast<double>(gs.shield)), Near(static_cast<double>(gs.shieldMax)) / 50);
}

// The score with the cave bonus of this frame's speed.
void PutScore(TextBuffer& b) {
    PutLiteral(b, "Score: ");
    PutWholeNumber(b, Whole(static_cast<double>(gs.score)));
    const float bonus = gs.narrowBonus;
    if (bonus > 0) {
        PutLiteral(b, " (+");
        if (gs.brakeHeld != 0) {
            PutWholeNumber(b, Whole(static_cast<double>(bonus) / 2.0));
        } else if (gs.turboHeld == 0) {
            PutFloatText(b, bonus);
        } else {
            PutDoubleText(b, 2.5 * static_cast<double>(bonus));
        }
        PutChar(b, ')');
    }
}

void DrawFrameRate() {
    char data[32];
    TextBuffer b = MakeTextBuffer(data, sizeof data);
    PutLiteral(b, "FPS: ");
    PutInteger(b, gs.fps);
    TextOutA(MainField.image, kFrameRateX, kStatusY, data, TextLength(b));
}

// The race text at its place; racing the world's best run, after "World ".
void DrawRaceText(const char* text, int length) {
    if (gs.racingWorld == 0) {
        TextOutA(MainField.image, kRaceTextX, kStatusY, text, length);
        return;
    }
    char data[32];
    TextBuffer b = MakeTextBuffer(data, sizeof data);
    PutLiteral(b, "World ");
    PutBytes(b, text, static_cast<size_t>(length));
    TextOutA(MainField.image, kRaceTextX, kStatusY, data, TextLength(b));
}

void DrawRecordIndicator() {
    const double s = Whole(static_cast<double>(gs.score));
    const int map = gs.selectedMap;
    double best = (map >= 0 && map <= kMapCount) ? static_cast<double>(gs.maps[map].scoreBest) : 0.0;
    if (gs.racingWorld != 0) best = static_cast<double>(gs.worldRunScore);
    const double shipX = static_cast<double>(gs.shipX);
    const int atFloor = BestRunAt(Whole(shipX));
    const int atNear = BestRunAt(static_cast<double>(Near(shipX)));
    const double d = s - static_cast<double>(atNear);
    if (s > best && s > atFloor) {
        MainField.foreColor = kGreen;
        MainField.fontBold = true;
        if (best > 0) DrawRaceText(kBrokenRecord, sizeof kBrokenRecord - 1);
    } else if (s > atNear) {
        MainField.foreColor = kYellow;
        MainField.fontBold = true;
        const FixedText& t = kChance[MarginWord(d)];
        if (best > 0) DrawRaceText(t.text, t.length);
    } else if (s < atNear) {
        MainField.foreColor = kRed;
        MainField.fontBold = true;
        const FixedText& t = kLosing[MarginWord(d)];
        if (best > 0) DrawRaceText(t.text, t.length);
    }
}

}  // namespace

void DrawFlightDisplay() {
    if (gs.colliding != 0) {
        MainField.fontSize = 10;
        DrawTwice(10, 10, kCollision);
    }
    if (gs.paused != 0) {
        MainField.fontSize = 40;
        DrawJittered(190, 60, kPaused, kYellow, kRed);
        Refresh();
    }

    // Sized for the longest number texts a float can give; fits the stack.
    char score[512];
    TextBuffer b = MakeTextBuffer(score, sizeof score);
    PutScore(b);
    // The shield label takes the weight left by the previous pass.
    StatusLine line{};
    line.score = score;
    line.scoreLength = TextLength(b);
    line.scoreFirst = false;
    line.shieldBack = ShieldBarColour();
    line.shieldUnits = ShieldUnits();
    line.fuelWarning = gs.fuel > 0 && !(EffectiveShield() > gs.turboMinShield);
    line.fuelWarningColour = gs.brakeHeld == 0 ? kRed : kYellow;
    line.fuelUnits = DivideTruncated(Near(static_cast<double>(gs.fuel)), gs.fuelMax / 50);
    DrawStatusLine(line);

    if (gs.debugDraw != 0) {
        MainField.fontSize = 8;
        MainField.foreColor = kYellow;
        DrawFrameRate();
    } else {
        MainField.fontSize = 8;
        DrawRecordIndicator();
        MainField.fontBold = false;
    }

    MainField.drawWidth = 1;
    Line(0, kStatusY, kFieldWidth, kStatusY, kLightBlue);
}
