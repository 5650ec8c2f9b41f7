// The sound switch and the engine sounds of a frame.
// SPDX-License-Identifier: MIT
#include "shell/sound_switch.h"

#include "base/game_state.h"
#include "platform/platform.h"
#include "shell/preferences.h"

void StartSound() {
    if (LoadPreferences().muted) gs.muted = kTrue;
    PlatformSetSoundMuted(gs.muted != 0);
}

void ToggleSound() {
    gs.muted = gs.muted != 0 ? kFalse : kTrue;
    PlatformSetSoundMuted(gs.muted != 0);
    // Read afresh so that the other settings stay as the file has them. A
    // file that cannot be written keeps the switch only until the game ends.
    Preferences p = LoadPreferences();
    p.muted = gs.muted != 0;
    SavePreferences(p);
}

uint32_t EngineLoops() {
    if (gs.playing == 0 || gs.paused != 0 || gs.started == 0) return 0;
    uint32_t loops = 0;
    // Up wins when both thrust keys are held, as in the flight.
    if (gs.thrustUpHeld != 0) loops |= SoundBit(SoundId::kEngineUp);
    else if (gs.thrustDownHeld != 0) loops |= SoundBit(SoundId::kEngineDown);
    // The flight releases turbo and brake when they cannot be paid for.
    if (gs.turboHeld != 0) loops |= SoundBit(SoundId::kTurbo);
    if (gs.brakeHeld != 0) loops |= SoundBit(SoundId::kBrake);
    return loops;
}
