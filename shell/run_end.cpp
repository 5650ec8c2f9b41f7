// The end of a run: the record check, the holder's name, the record and its
// replay stored, the GAME OVER screen, back to the selection.
#include "shell/run_end.h"

#include <string>

#include "base/conversions.h"
#include "base/game_state.h"
#include "base/number_text.h"
#include "gfx/play_field.h"
#include "maps/map_catalogue.h"
#include "maps/record_holder.h"
#include "platform/platform.h"
#include "replay/record_store.h"

using namespace precision;

namespace {
// The whole part of a float as the float it is stored in.
float WholeF(float v) { return F(Whole(D(v))); }

void DrawTwice(const std::string& text, int x, int y, int shift) {
    MainField.foreColor = kYellow;
    TextOutA(MainField.image, x, y, text);
    MainField.foreColor = kRed;
    TextOutA(MainField.image, x + shift, y + shift, text);
}
}  // namespace

void EndRun() {
    LoadMapCatalogue();

    // selectedMap is kept within the catalogue by the keys; the guard only
    // keeps a stray value from indexing outside it.
    const int16_t map = (gs.selectedMap >= 1 && gs.selectedMap <= kMapCount) ? gs.selectedMap : gs.runMap;
    const bool mapValid = map >= 1 && map <= kMapCount;
    const float whole = WholeF(gs.score);

    if (mapValid) {
        MapEntry& entry = gs.maps[map];
        const float best = entry.scoreBest;
        if (WholeF(best) < whole) {
            const std::string prompt = "Congratulations, you broke the old record (" + FloatText(best) + ")\r\n" +
                                       "New record: " + FloatText(whole) + "\r\n" + "Enter your name!";
            const std::string answer = PlatformInputBox(prompt, "Quillrun", entry.scoreName, kHolderNameRules);
            entry.scoreBest = whole;
            entry.scoreName = SanitiseHolderName(answer);
            StoreRecord(map);
        }
    }

    // The jitter numbers are drawn in this order: x and y of the yellow copy,
    // then of the red one.
    const double r1 = PlatformRandom();
    const double r2 = PlatformRandom();
    const double r3 = PlatformRandom();
    const double r4 = PlatformRandom();

    Cls();
    MainField.fontSize = 40;
    MainField.foreColor = kYellow;
    TextOutA(MainField.image, 140 + static_cast<int>(Whole(2.0 * r1)), 60 + static_cast<int>(Whole(2.0 * r2)),
             "GAME OVER");
    MainField.foreColor = kRed;
    TextOutA(MainField.image, 140 + static_cast<int>(Whole(2.0 * r3)), 60 + static_cast<int>(Whole(2.0 * r4)),
             "GAME OVER");

    MainField.fontSize = 15;
    MainField.fontName = FONT_COURIER_NEW;
    DrawTwice("YOUR SCORE: " + FloatText(whole), 200, 130, 1);
    if (mapValid) {
        const float bestWhole = WholeF(gs.maps[map].scoreBest);
        if (bestWhole != whole) DrawTwice("BEST SCORE: " + FloatText(bestWhole), 200, 155, 1);
    }
    MainField.fontName = FONT_ARIAL;
    Refresh();

    gs.shield = 0;
    gs.lastScore = Near16(D(whole));

    PlatformSleep(1300);

    gs.playing = kFalse;
    gs.thrustUpHeld = kFalse;
    gs.thrustDownHeld = kFalse;
    gs.selectedMap = gs.runMap;
}
