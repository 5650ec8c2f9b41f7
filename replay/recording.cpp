// Every frame of a moving run, and the keys of every step, are kept in memory
// for the replay file; a flight step with its recording; the replay file's
// text: one line per changed value of each frame, CR LF line ends, then
// "--END--" and "LastFrame=", then the key section of every step.
// SPDX-License-Identifier: MIT
#include "replay/recording.h"

#include <cstdint>
#include <cstdio>

#include "base/game_state.h"
#include "flight/cave_gauge.h"
#include "flight/ship_motion.h"
#include "replay/key_section.h"

namespace {
void AppendNumber(std::string& out, const char* key, int value) {
    char line[32];
    int n = std::snprintf(line, sizeof line, "%s%d\r\n", key, value);
    out.append(line, static_cast<size_t>(n));
}

// Writes the line when the value differs from the last written one.
void AppendChanged(std::string& out, const char* key, float value, int16_t& last) {
    const int16_t v = Near16(static_cast<double>(value));
    if (v == last) return;
    AppendNumber(out, key, v);
    last = v;
}

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
                                                        (gs.turboHeld != 0 ? kStepTurbo : 0) |
                                                        (gs.debugDraw != 0 ? kStepDebugMarks : 0));
}

void RecordTrailPixel() {
    if (gs.started == 0 || gs.stepKeyCount != gs.frameIndex + 1 || gs.trailPixel == 0) return;
    gs.stepKeys[gs.stepKeyCount] = static_cast<uint8_t>(gs.stepKeys[gs.stepKeyCount] | kStepTrailPixel);
}

bool FlyRecordedStep() {
    if (gs.started == 0 && gs.waitedFrames < INT32_MAX) ++gs.waitedFrames;
    RecordStepKeys();
    ScrollView();
    if (gs.started != 0) MeasureCave();
    UpdateShip();
    RecordTrailPixel();
    return static_cast<double>(gs.shield) < 0;
}

void ReplayText(std::string& out) {
    out.clear();
    out.reserve(1 << 16);
    int16_t lastMapX = 0, lastShipY = 0, lastScore = 0, lastShield = 0, lastFuel = 0;
    int i = 1;
    for (; i <= kMaxFrames; ++i) {
        const ReplayFrame& f = gs.recording[i];
        if (f.shipX == 0 && f.shipY == 0 && f.shield == 0) break;
        AppendChanged(out, "mX", f.mapX, lastMapX);
        AppendNumber(out, "pX", Near16(static_cast<double>(f.shipX)));
        AppendChanged(out, "pY", f.shipY, lastShipY);
        AppendChanged(out, "Sc", f.score, lastScore);
        AppendChanged(out, "Sh", f.shield, lastShield);
        AppendChanged(out, "Fu", f.fuel, lastFuel);
    }
    out += "--END--\r\n";
    AppendNumber(out, "LastFrame=", Near16(static_cast<double>(gs.recording[i - 1].shipX)));
    // The keys of the frames written and of the step that ended the run.
    if (gs.stepKeyCount == i) AppendKeySection(out, gs.stepKeys + 1, gs.stepKeyCount, gs.waitedFrames);
}
