// Every frame of a moving run is kept in memory for the replay file.
// SPDX-License-Identifier: MIT
#include "replay/recording.h"

#include "base/game_state.h"

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
