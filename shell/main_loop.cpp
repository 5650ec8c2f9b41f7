// Start-up, the frame loop, its pacing, and closing the window.
// SPDX-License-Identifier: MIT
#include "shell/main_loop.h"

#include "base/game_state.h"
#include "gfx/picture_store.h"
#include "gfx/play_field.h"
#include "maps/map_catalogue.h"
#include "platform/platform.h"
#include "screens/playback.h"
#include "replay/record_store.h"
#include "replay/recording.h"
#include "screens/flight_display.h"
#include "screens/selection_screen.h"
#include "shell/run_end.h"
#include "shell/run_start.h"
#include "shell/sound_switch.h"

namespace {
// Milliseconds from `since` to `now`; the counter only moves forward, so the
// unsigned wrap-around difference is the elapsed time across the 2^31 wrap.
uint32_t Elapsed(int32_t now, int32_t since) {
    return static_cast<uint32_t>(now) - static_cast<uint32_t>(since);
}

// The end of every shown frame: the engine sounds as the frame left the
// ship, the wait for its deadline, then input.
void EndFrame() {
    PlatformSetSoundLoops(EngineLoops());
    PaceFrame();
    PlatformDispatchEvents();
}
}  // namespace

void OnLoad() {
    PlatformShowWindow();
    StartSound();
    MainLoop();
}

void MainLoop() {
    LoadPictures();
    StartRun();
    RecoverRecords();
    LoadMapCatalogue();
    for (;;) {
        if (gs.paused == 0) Cls();
        if (gs.playing != 0) {
            if (gs.paused == 0) FlyFrame();
            if (gs.playing != 0) {
                DrawFlightDisplay();
                EndFrame();
                continue;
            }
        } else {
            if (gs.helpShown != 0) DrawHelpScreen();
            if (gs.replayMode != 0) {
                PlayReplay(gs.selectedMap, EndFrame);
                gs.worldRunShown = kFalse;
            }
            DrawSelectionScreen();
        }
        EndFrame();
    }
}

void FlyFrame() {
    if (FlyRecordedStep()) EndRun();
    RecordFrame();
}

int32_t NextFrameDeadline(int32_t t) {
    // t + 14.5 rounded to even: +14 for an even t, +15 for an odd one.
    uint32_t u = static_cast<uint32_t>(t);
    return static_cast<int32_t>(u + 14u + (u & 1u));
}

void PaceFrame() {
    int32_t now = PlatformTickCount();
    if (Elapsed(now, gs.secondStartTick) >= 1000u) {
        gs.secondStartTick = PlatformTickCount();
        gs.fps = gs.framesThisSecond;
        gs.framesThisSecond = 0;
    }
    gs.framesThisSecond += 1;
    PlatformWaitTickAfter(gs.nextFrameTick);
    int32_t t = PlatformTickCount();
    if (gs.slowMotion != 0 && gs.replayMode != 0) {
        gs.nextFrameTick = static_cast<int32_t>(static_cast<uint32_t>(t) + 45u);
    } else {
        gs.nextFrameTick = NextFrameDeadline(t);
    }
}

void OnUnload() {
    ReleasePictures();
    PlatformEndProgram(0);
}
