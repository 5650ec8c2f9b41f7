// The map selection screen and the help picture.
// SPDX-License-Identifier: MIT
#include "screens/selection_screen.h"

#include <cmath>

#include "base/game_state.h"
#include "gfx/field_text.h"
#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "platform/platform.h"
#include "screens/screen_text.h"

namespace {

constexpr char kTitle[] = "Select Map:     [Press R for Replay - Best score of selected map]";
constexpr char kHelpHint[] = "Press 'H' for help";
constexpr char kLastScore[] = "Score from last game: ";
constexpr char kPressEnter[] = "PRESS ENTER";
constexpr char kToPlay[] = "TO PLAY";
constexpr char kUploadHint[] = "Press 'U' to upload selected score!";
constexpr char kKeyUp[] = "Thrusters Up: UP or SPACE";
constexpr char kKeyDown[] = "Thrusters Down: DOWN";
constexpr char kKeyBrake[] = "Brake: LEFT";
constexpr char kKeyTurbo[] = "Turbo: RIGHT";
constexpr char kRaceWorld[] = "Racing the world's best run (B)";

constexpr int kSelectedRowY = 95;
constexpr int kRowHeight = 12;
constexpr int kRowsAbove = 6;

// Row texts past this length would start beyond the divider at x = 320,
// which the right-pane copy wipes; cutting them there changes nothing seen.
constexpr size_t kRowTextSize = 256;

void SetStyle(int size, bool bold, uint32_t colour) {
    MainField.fontSize = size;
    MainField.fontBold = bold;
    MainField.foreColor = colour;
}

void StepSelection() {
    if (gs.thrustUpHeld != 0) {
        if (gs.selectedMap <= 1) {
            int16_t last = 0;
            for (int k = kMapCount; k >= 1; --k) {
                if (!gs.maps[k].file.empty()) {
                    last = static_cast<int16_t>(k);
                    break;
                }
            }
            gs.selectedMap = last;
        } else {
            gs.selectedMap = static_cast<int16_t>(gs.selectedMap - 1);
        }
        gs.thrustUpHeld = 0;
        PlatformPlaySound(SoundId::kSelect, 1);
    }
    if (gs.thrustDownHeld != 0) {
        // A selection beyond the list (not one a key can make) also wraps to 1.
        const int next = gs.selectedMap + 1;
        if (gs.selectedMap < kMapCount && next >= 1 && !gs.maps[next].file.empty()) {
            gs.selectedMap = static_cast<int16_t>(next);
        } else {
            gs.selectedMap = 1;
        }
        gs.thrustDownHeld = 0;
        PlatformPlaySound(SoundId::kSelect, 1);
    }
}

void DrawMapRow(int k, int y) {
    const MapEntry& entry = gs.maps[k];
    char data[kRowTextSize];
    TextBuffer b = MakeTextBuffer(data, sizeof data);
    PutInteger(b, k, 2);
    PutLiteral(b, ") ");
    PutBytes(b, entry.name.data(), entry.name.size());
    TextOutA(MainField.image, 5, y, data, TextLength(b));
    if (entry.scoreBest > 0 && y > 0 && y < MainField.height) {
        b = MakeTextBuffer(data, sizeof data);
        // Whole number, halves away from zero, at least two digits.
        PutWholeNumber(b, std::round(static_cast<double>(entry.scoreBest)), 2);
        PutLiteral(b, " by ");
        PutBytes(b, entry.scoreName.data(), entry.scoreName.size());
        TextOutA(MainField.image, 150, y, data, TextLength(b));
    }
}

void DrawMapList() {
    const int selected = gs.selectedMap;
    const int first = selected - kRowsAbove > 1 ? selected - kRowsAbove : 1;
    const int reach = selected + gs.mapListRows;
    const int last = reach < kMapCount ? reach : kMapCount;
    for (int k = first; k <= last; ++k) {
        if (gs.maps[k].file.empty()) break;
        const int y = kSelectedRowY + kRowHeight * (k - selected);
        if (k == selected) {
            MainField.fontBold = true;
            MainField.foreColor = kPaleBlueWhite;
        } else {
            MainField.fontBold = false;
            MainField.foreColor = kLightBlue;
        }
        DrawMapRow(k, y);
    }
}

}  // namespace

void DrawHelpScreen() {
    BitBlt(MainField.image, 0, 0, kFieldWidth, kFieldHeight, gs.helpSurface, 0, 0, SRCCOPY);
}

void DrawSelectionScreen() {
    if (gs.helpShown != 0) return;
    StepSelection();

    BitBlt(MainField.image, 0, 0, kFieldWidth, kFieldHeight, gs.backgroundSurface, 0, 0, SRCCOPY);

    // The title keeps the colour in force: every pass ends on light blue.
    MainField.fontBold = false;
    MainField.fontSize = 8;
    DrawText(5, 5, kTitle);

    DrawMapList();

    // The source is one pixel right of the target.
    BitBlt(MainField.image, 321, 0, 300, kFieldHeight, gs.backgroundSurface, 322, 0, SRCCOPY);

    SetStyle(8, false, kLightBlue);
    DrawText(510, 5, kHelpHint);

    SetStyle(8, false, kLightBlue);
    if (gs.lastScore > 0) {
        char data[48];
        TextBuffer b = MakeTextBuffer(data, sizeof data);
        PutLiteral(b, kLastScore);
        PutInteger(b, gs.lastScore);
        TextOutA(MainField.image, 330, 20, data, TextLength(b));
    }

    // Five jitters, in this order: yellow x, yellow y, blue x, blue y, second line y.
    SetStyle(24, false, kYellow);
    DrawJittered(350, 70, kPressEnter, kYellow, kBlue);
    SetStyle(14, false, kLightBlue);
    DrawText(425, 110 + Jitter(), kToPlay);

    SetStyle(8, false, kLightBlue);
    DrawText(330, 5, kUploadHint);
    DrawText(330, 154, kKeyUp);
    DrawText(330, 168, kKeyDown);
    DrawText(330, 182, kKeyBrake);
    DrawText(330, 196, kKeyTurbo);
    if (gs.raceWorld != 0) DrawText(330, 136, kRaceWorld);

    MainField.drawWidth = 2;
    Line(320, 0, 320, kFieldHeight, kLightBlue);
    MainField.drawWidth = 1;
    Line(0, 96, 320, 96, kLightBlue);
    Line(0, 108, 320, 108, kLightBlue);
}
