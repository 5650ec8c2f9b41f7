// Replay playback: the paced frames of a best run, its status line, the end screen.
// SPDX-License-Identifier: MIT
#include "screens/playback.h"

#include <string>

#include "base/conversions.h"
#include "base/game_paths.h"
#include "base/game_state.h"
#include "base/geometry.h"
#include "flight/ship_motion.h"
#include "gfx/picture_store.h"
#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "platform/platform.h"
#include "replay/replay_file.h"
#include "screens/end_screens.h"
#include "screens/screen_text.h"
#include "screens/status_line.h"

namespace {

// The quantities shown by the replay; each line of the file changes one.
struct PlaybackValues {
    int16_t mapX = 0;
    int16_t shipX = 0;
    int16_t shipY = 0;
    int16_t score = 0;
    int16_t shield = 0;
    int16_t fuel = 0;
};

void DrawReplayFrame(const PlaybackValues& v) {
    Surface* field = MainField.image;
    Cls();
    BitBlt(field, 0, 0, kViewWidth, kViewHeight, gs.mapSurface, v.mapX, 0, SRCCOPY);
    BitBlt(field, v.shipX, v.shipY, kShipWidth, kShipHeight, gs.shipSurface, 0, kShipHeight, SRCAND);
    BitBlt(field, v.shipX, v.shipY, kShipWidth, kShipHeight, gs.shipSurface, 0, 0, SRCPAINT);

    char score[32];
    TextBuffer b = MakeTextBuffer(score, sizeof score);
    PutLiteral(b, "Score: ");
    PutInteger(b, v.score);
    const float e = EffectiveShield(v.shield);
    StatusLine line{};
    line.score = score;
    line.scoreLength = TextLength(b);
    line.scoreFirst = true;
    line.shieldBack = kWhite;
    line.shieldUnits = DivideTruncated(v.shield, Near(gs.shieldMax) / kBarLength);
    line.fuelWarning = !(e > static_cast<float>(gs.turboMinShield));
    line.fuelWarningColour = kRed;
    line.fuelUnits = DivideTruncated(v.fuel, gs.fuelMax / kBarLength);
    DrawStatusLine(line);

    // The engine marks go into the map itself and stay as a trail; jumping
    // leaves none.
    if (gs.replaySeeking == 0) PaintEngineTrail(v.shipX + v.mapX, v.shipY, v.shield, false, false);
}

// The last score line of the replay in gs.recording.
float FinalScore() {
    for (int i = kMaxFrames; i >= 1; --i) {
        if (gs.recording[i].score != 0) return gs.recording[i].score;
    }
    return 0;
}

}  // namespace

void PlayReplay(int16_t map, void (*endFrame)()) {
    const bool world = gs.worldRunShown != 0;
    const std::string path = world ? WorldReplayPath(map) : ReplayPath(map);
    if (!PlatformFileExists(path)) {
        PlatformMessageBox("No replay file.\r\nSet a record first!", "Quillrun");
        gs.replayMode = kFalse;
        return;
    }
    const float lastFrame = LoadReplayEntries(path);
    const std::string file = (map >= 0 && map <= kMapCount) ? gs.maps[map].file : std::string();
    if (!LoadPictureSurface(gs.mapSurface, MapFolderFor(file), file)) gs.playing = kFalse;

    PlaybackValues v;
    // Entries 0 and 1 are never applied: the first drawn frame still shows
    // the ship at x = 0.
    int n = 2;
    for (;;) {
        // Key events may put frameIndex anywhere in the 16-bit range between
        // frames; entry 0 is never read and nothing past the array.
        if (n < 1) n = 1;
        if (n > kMaxFrames) {
            gs.frameIndex = static_cast<int16_t>(n > INT16_MAX ? INT16_MAX : n);
            break;
        }
        gs.frameIndex = static_cast<int16_t>(n);
        const ReplayFrame& entry = gs.recording[n];
        bool draw = false;
        if (entry.mapX != 0) {
            v.mapX = Near16(entry.mapX);
            draw = true;
        } else if (entry.shipX != 0) {
            v.shipX = Near16(entry.shipX);
        } else if (entry.shipY != 0) {
            v.shipY = Near16(entry.shipY);
        } else if (entry.score != 0) {
            v.score = Near16(entry.score);
        } else if (entry.shield != 0) {
            v.shield = Near16(entry.shield);
        } else if (entry.fuel != 0) {
            v.fuel = Near16(entry.fuel);
        } else {
            if (static_cast<float>(v.shipX) >= lastFrame) break;
            draw = true;
        }
        if (draw) {
            DrawReplayFrame(v);
            if (gs.replayMode == 0) return;
            endFrame();
        }
        n = gs.frameIndex + 1;
    }
    // The score of the map selected now: a digit pressed during the replay
    // changes it. The world's best run shows its own.
    const int16_t shown = gs.selectedMap;
    DrawEndOfReplay(world ? FinalScore() : (shown >= 0 && shown <= kMapCount ? gs.maps[shown].scoreBest : 0.0f));
    PlatformSleep(1500);
    gs.replayMode = kFalse;
}
