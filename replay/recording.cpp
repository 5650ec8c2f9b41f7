// Every frame of a moving run, and the keys of every step, are kept in memory
// for the replay file.
// SPDX-License-Identifier: MIT
#include "replay/recording.h"

#include "base/game_state.h"
#include "replay/key_section.h"

namespace {
inline float WholeOf(float v) { return static_cast<float>(Whole(static_cast<double>(v))); }
}  // namespace

void RecordFrame() {
    if (gs.started == 0) return;
    // The table holds 30000 frames; a longer run goes on unrecorded, so its
    // replay ends at frame 30000.
    if (gs.frameIndex >= kMaxFrames || gs.frameIndex < 0) return;
    gs.frameIndex = static_cast<int16_t>(gs.frameIndex + 1);
    ReplayFrame& f = gs.recording[gs.frameIndex];
    f.mapX = WholeOf(gs.scrollX);
    f.shipX = WholeOf(gs.shipX);
    f.shipY = WholeOf(gs.shipY);
    f.score = WholeOf(gs.score);
    f.shield = WholeOf(gs.shield);
    f.fuel = WholeOf(gs.fuel);
}

void RecordStepKeys() {
    if (gs.started == 0 || gs.frameIndex < 0 || gs.frameIndex > kMaxFrames) return;
    // Step frameIndex + 1: the frames recorded so far, then this one.
    gs.stepKeyCount = static_cast<int16_t>(gs.frameIndex + 1);
    gs.stepKeys[gs.stepKeyCount] = static_cast<uint8_t>((gs.thrustUpHeld != 0 ? kStepUp : 0) |
                                                        (gs.thrustDownHeld != 0 ? kStepDown : 0) |
                                                        (gs.brakeHeld != 0 ? kStepBrake : 0) |
                                                        (gs.turboHeld != 0 ? kStepTurbo : 0));
}

void RecordTrailPixel() {
    if (gs.started == 0 || gs.stepKeyCount != gs.frameIndex + 1 || gs.trailPixel == 0) return;
    gs.stepKeys[gs.stepKeyCount] = static_cast<uint8_t>(gs.stepKeys[gs.stepKeyCount] | kStepTrailPixel);
}
