#include "screens/flight_display.h"

#include <cmath>

#include "base/game_state.h"
#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "platform/platform.h"
#include "screens/screen_text.h"

namespace {

constexpr int kStatusY = 200;

constexpr char kCollision[] = "COLLISION";
constexpr char kPaused[] = "PAUSED";
constexpr char kShieldLabel[] = "Shield:";
constexpr char kFuelLabel[] = "Extra Fuel:";
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

template <size_t N>
void DrawText(int x, int y, const char (&text)[N]) {
    TextOutA(MainField.image, x, y, text, static_cast<int>(N - 1));
}

// Jitter of 0 or 1 pixel from one fresh random number.
int Jitter() { return static_cast<int>(std::floor(2.0 * PlatformRandom())); }

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

void DrawShieldBar() {
    const int32_t whole = WholeInt32(static_cast<double>(gs.shield));
    const int32_t rounded = Near(static_cast<double>(gs.shieldMax));
    const int32_t level = DivideTruncated(whole, rounded / 100);
    MainField.foreColor = level < 10 ? kRed : (level < 30 ? kYellow : kWhite);
    DrawStatusBar(40, kBarLength);
    MainField.foreColor = kBlue;
    DrawStatusBar(40, DivideTruncated(whole, rounded / 50));
}

void DrawFuelBar() {
    MainField.foreColor = kWhite;
    DrawStatusBar(227, kBarLength);
    if (gs.fuel > 0 && !(EffectiveShield() > gs.turboMinShield)) {
        MainField.foreColor = gs.brakeHeld == 0 ? kRed : kYellow;
        DrawStatusBar(227, kBarLength);
    }
    MainField.foreColor = kBlue;
    DrawStatusBar(227, DivideTruncated(Near(static_cast<double>(gs.fuel)), gs.fuelMax / 50));
}

void DrawScore() {
    // Sized for the longest number texts a float can give; fits the stack.
    char data[512];
    TextBuffer b = MakeTextBuffer(data, sizeof data);
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
    TextOutA(MainField.image, 360, kStatusY, data, TextLength(b));
}

void DrawFrameRate() {
    char data[32];
    TextBuffer b = MakeTextBuffer(data, sizeof data);
    PutLiteral(b, "FPS: ");
    PutInteger(b, gs.fps);
    TextOutA(MainField.image, 550, kStatusY, data, TextLength(b));
}

void DrawRecordIndicator() {
    const double s = Whole(static_cast<double>(gs.score));
    const int map = gs.selectedMap;
    const double best = (map >= 0 && map <= kMapCount) ? static_cast<double>(gs.maps[map].scoreBest) : 0.0;
    const double shipX = static_cast<double>(gs.shipX);
    const int atFloor = BestRunAt(Whole(shipX));
    const int atNear = BestRunAt(static_cast<double>(Near(shipX)));
    const double d = s - static_cast<double>(atNear);
    if (s > best && s > atFloor) {
        MainField.foreColor = kGreen;
        MainField.fontBold = true;
        if (best > 0) DrawText(460, kStatusY, kBrokenRecord);
    } else if (s > atNear) {
        MainField.foreColor = kYellow;
        MainField.fontBold = true;
        const FixedText& t = kChance[MarginWord(d)];
        if (best > 0) TextOutA(MainField.image, 460, kStatusY, t.text, t.length);
    } else if (s < atNear) {
        MainField.foreColor = kRed;
        MainField.fontBold = true;
        const FixedText& t = kLosing[MarginWord(d)];
        if (best > 0) TextOutA(MainField.image, 460, kStatusY, t.text, t.length);
    }
}

}  // namespace

void DrawFlightDisplay() {
    if (gs.colliding != 0) {
        MainField.fontSize = 10;
        MainField.foreColor = kYellow;
        DrawText(10, 10, kCollision);
        MainField.foreColor = kRed;
        DrawText(11, 11, kCollision);
    }
    if (gs.paused == kTrue) {
        MainField.fontSize = 40;
        // Four draws in this order: yellow x, yellow y, red x, red y.
        const int yellowX = Jitter();
        const int yellowY = Jitter();
        MainField.foreColor = kYellow;
        DrawText(190 + yellowX, 60 + yellowY, kPaused);
        const int redX = Jitter();
        const int redY = Jitter();
        MainField.foreColor = kRed;
        DrawText(190 + redX, 60 + redY, kPaused);
        Refresh();
    }
    // The label takes the weight left by the previous pass.
    MainField.fontSize = 8;
    MainField.foreColor = kYellow;
    DrawText(3, kStatusY, kShieldLabel);
    MainField.fontBold = false;
    DrawShieldBar();

    MainField.fontSize = 8;
    MainField.foreColor = kYellow;
    DrawText(170, kStatusY, kFuelLabel);
    DrawFuelBar();

    MainField.fontSize = 8;
    MainField.foreColor = kYellow;
    DrawScore();

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
    Line(0, kStatusY, 600, kStatusY, kLightBlue);
}
