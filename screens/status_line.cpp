// The status line under the view: gauges, their labels and the score.
// SPDX-License-Identifier: MIT
#include "screens/status_line.h"

#include "base/geometry.h"
#include "gfx/field_text.h"
#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "screens/screen_text.h"

namespace {
void DrawScore(const StatusLine& line) {
    MainField.fontSize = 8;
    MainField.foreColor = kYellow;
    TextOutA(MainField.image, kScoreX, kStatusY, line.score, line.scoreLength);
}
}  // namespace

void DrawStatusBar(int x, int units) {
    static constexpr char kBar[] = "||||||||||||||||||||||||||||||||||||||||||||||||||";
    static_assert(sizeof kBar - 1 == kBarLength);
    if (units <= 0) return;
    if (units > kBarLength) units = kBarLength;
    TextOutA(MainField.image, x, kStatusY, kBar, units);
}

void DrawStatusLine(const StatusLine& line) {
    if (line.scoreFirst) DrawScore(line);

    MainField.fontSize = 8;
    MainField.foreColor = kYellow;
    DrawText(kShieldLabelX, kStatusY, "Shield:");
    MainField.fontBold = false;
    MainField.foreColor = line.shieldBack;
    DrawStatusBar(kShieldBarX, kBarLength);
    MainField.foreColor = kBlue;
    DrawStatusBar(kShieldBarX, line.shieldUnits);

    MainField.fontSize = 8;
    MainField.foreColor = kYellow;
    DrawText(kFuelLabelX, kStatusY, "Extra Fuel:");
    MainField.foreColor = kWhite;
    DrawStatusBar(kFuelBarX, kBarLength);
    if (line.fuelWarning) {
        MainField.foreColor = line.fuelWarningColour;
        DrawStatusBar(kFuelBarX, kBarLength);
    }
    MainField.foreColor = kBlue;
    DrawStatusBar(kFuelBarX, line.fuelUnits);

    if (!line.scoreFirst) DrawScore(line);
}
