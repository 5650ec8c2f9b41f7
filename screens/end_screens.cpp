// The GAME OVER and END OF REPLAY screens.
// SPDX-License-Identifier: MIT
#include "screens/end_screens.h"

#include <string>

#include "base/number_text.h"
#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "screens/screen_text.h"

void DrawGameOver(float score, bool hasBest, float best) {
    Cls();
    MainField.fontSize = 40;
    DrawJittered(140, 60, "GAME OVER", kYellow, kRed);

    MainField.fontSize = 15;
    MainField.fontName = FONT_COURIER_NEW;
    DrawTwice(200, 130, "YOUR SCORE: " + FloatText(score));
    if (hasBest && best != score) DrawTwice(200, 155, "BEST SCORE: " + FloatText(best));
    MainField.fontName = FONT_ARIAL;
    Refresh();
}

void DrawEndOfReplay(float best) {
    Cls();
    MainField.fontSize = 40;
    DrawTwice(110, 60, "END OF REPLAY");

    MainField.fontSize = 15;
    MainField.fontName = FONT_COURIER_NEW;
    DrawTwice(235, 130, "SCORE: " + FloatText(best));
    MainField.fontName = FONT_ARIAL;
    Refresh();
}
