// The key handlers: what each key does on the map list, in a run and in a
// replay.
// SPDX-License-Identifier: MIT
#include "shell/keyboard.h"

#include "base/game_state.h"
#include "base/geometry.h"
#include "online/score_upload.h"
#include "online/world_best.h"
#include "platform/platform.h"
#include "replay/replay_file.h"
#include "shell/run_start.h"
#include "shell/sound_switch.h"

namespace {
Flag Toggled(Flag f) { return f != 0 ? kFalse : kTrue; }

// 'W': the selected map's world's best run is fetched and played, unless
// the wait for it saw a run start or another map selected.
void WatchWorldBestRun() {
    const int16_t map = gs.selectedMap;
    if (FetchWorldBestRun(map) && gs.playing == 0 && gs.replayMode == 0 && gs.selectedMap == map) {
        gs.worldRunShown = kTrue;
        gs.replayMode = kTrue;
    }
}

// 'B': runs race the world's best run instead of the player's own, or back.
// The world's best is chosen only for a map that has one fetched.
void ToggleRace() {
    if (gs.raceWorld == 0 && !PlatformFileExists(WorldReplayPath(gs.selectedMap))) {
        PlatformMessageBox("No world's best run of this map has been fetched yet.\r\nPress 'W' to fetch it.",
                           "Quillrun");
        return;
    }
    gs.raceWorld = Toggled(gs.raceWorld);
}
}  // namespace

void OnKeyDown(int16_t keyCode) {
    if (keyCode == VK_UP || keyCode == VK_SPACE) {
        gs.started = kTrue;
        gs.thrustUpHeld = kTrue;
    }
    if (keyCode == VK_DOWN) {
        gs.thrustDownHeld = kTrue;
        gs.slowMotion = kTrue;
        gs.started = kTrue;
    }
    if (keyCode == VK_RIGHT || keyCode == VK_SHIFT) {
        if (gs.playing != 0) {
            gs.turboHeld = kTrue;
            gs.started = kTrue;
        } else if (gs.replayMode != 0) {
            gs.replaySeeking = kTrue;
            // Playback ends once the position passes 30000, so this stays
            // far from the 16-bit limit; saturate anyway.
            int v = gs.frameIndex + kSeekForward;
            gs.frameIndex = static_cast<int16_t>(v > INT16_MAX ? INT16_MAX : v);
        }
    }
    if (keyCode == VK_LEFT || keyCode == VK_CONTROL) {
        if (gs.playing != 0) {
            gs.brakeHeld = kTrue;
            gs.started = kTrue;
        } else if (gs.replayMode != 0) {
            gs.replaySeeking = kTrue;
            int v = gs.frameIndex - kSeekBack;
            gs.frameIndex = static_cast<int16_t>(v < 0 ? 0 : v);
        }
    }
    if (keyCode == VK_RETURN) {
        gs.replayMode = kFalse;
        // StartRun clears `playing` again when the map fails to load.
        gs.playing = kTrue;
        StartRun();
        if (gs.playing != 0) PlatformPlaySound(SoundId::kConfirm, 1);
    }
    if (gs.playing == 0) {
        for (int k = 1; k <= 9; ++k) {
            if (gs.maps[k].file.empty()) break;
            if (keyCode == 48 + k && gs.selectedMap != k) {
                gs.selectedMap = static_cast<int16_t>(k);
                PlatformPlaySound(SoundId::kSelect, 1);
            }
        }
    }
}

void OnKeyUp(int16_t keyCode) {
    if (keyCode == VK_UP || keyCode == VK_SPACE) gs.thrustUpHeld = kFalse;
    if (keyCode == VK_DOWN) {
        gs.thrustDownHeld = kFalse;
        gs.slowMotion = kFalse;
    }
    if (keyCode == VK_RIGHT || keyCode == VK_SHIFT) {
        gs.turboHeld = kFalse;
        gs.replaySeeking = kFalse;
    }
    if (keyCode == VK_LEFT || keyCode == VK_CONTROL) {
        gs.brakeHeld = kFalse;
        gs.replaySeeking = kFalse;
    }
    if (keyCode == 'R') gs.replayMode = kTrue;
    if (keyCode == 'D') gs.debugDraw = Toggled(gs.debugDraw);
    if (keyCode == VK_ESCAPE) {
        if (gs.playing != 0) {
            gs.playing = kFalse;
            gs.paused = kFalse;
        } else if (gs.replayMode != 0) {
            gs.replayMode = kFalse;
        } else {
            PlatformEndProgram(0);
        }
    }
    if (keyCode == 'P' && gs.playing != 0) gs.paused = Toggled(gs.paused);
    if ((keyCode == 'H' || keyCode == VK_F1) && gs.playing == 0 && gs.replayMode == 0) {
        gs.helpShown = Toggled(gs.helpShown);
    }
    if (keyCode == 'U') UploadScore();
    if ((keyCode == 'W' || keyCode == 'B') && gs.playing == 0 && gs.replayMode == 0 && gs.helpShown == 0) {
        if (keyCode == 'W') WatchWorldBestRun();
        else ToggleRace();
    }
    if (keyCode == 'M') ToggleSound();
}
