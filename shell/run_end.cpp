// The end of a run: the record check, the holder's name, the record and its
// replay stored, the GAME OVER screen, back to the selection.
// SPDX-License-Identifier: MIT
#include "shell/run_end.h"

#include <string>

#include "base/conversions.h"
#include "base/game_state.h"
#include "base/number_text.h"
#include "maps/map_catalogue.h"
#include "maps/record_holder.h"
#include "platform/platform.h"
#include "replay/record_store.h"
#include "screens/end_screens.h"

using namespace precision;

namespace {
// The whole part of a float as the float it is stored in.
float WholeF(float v) { return F(Whole(D(v))); }
}  // namespace

void EndRun() {
    PlatformSetSoundLoops(0);
    LoadMapCatalogue();

    // selectedMap is kept within the catalogue by the keys; the guard only
    // keeps a stray value from indexing outside it.
    const int16_t map = (gs.selectedMap >= 1 && gs.selectedMap <= kMapCount) ? gs.selectedMap : gs.runMap;
    const bool mapValid = map >= 1 && map <= kMapCount;
    const float whole = WholeF(gs.score);
    bool record = false;

    if (mapValid) {
        MapEntry& entry = gs.maps[map];
        const float best = entry.scoreBest;
        if (WholeF(best) < whole) {
            record = true;
            PlatformPlaySound(SoundId::kRecord, 1);
            const std::string prompt = "Congratulations, you broke the old record (" + FloatText(best) + ")\r\n" +
                                       "New record: " + FloatText(whole) + "\r\n" + "Enter your name!";
            const std::string answer = PlatformInputBox(prompt, "Quillrun", entry.scoreName, kHolderNameRules);
            entry.scoreBest = whole;
            entry.scoreName = SanitiseHolderName(answer);
            StoreRecord(map);
        }
    }

    DrawGameOver(whole, mapValid, mapValid ? WholeF(gs.maps[map].scoreBest) : 0.0f);
    // A new record has had its fanfare when the name was asked for.
    if (!record) PlatformPlaySound(SoundId::kGameOver, 1);

    gs.shield = 0;
    gs.lastScore = Near16(D(whole));

    PlatformSleep(1300);

    gs.playing = kFalse;
    gs.thrustUpHeld = kFalse;
    gs.thrustDownHeld = kFalse;
    gs.selectedMap = gs.runMap;
}
