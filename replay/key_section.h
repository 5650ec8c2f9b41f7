// The key section of a replay file: for every flight step of the run, the
// keys that step found held and whether it painted the random trail pixel,
// so that the run can be flown again from its keys. Toolkit-free.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/game_state.h"

// One step's bits.
constexpr uint8_t kStepUp = 1;
constexpr uint8_t kStepDown = 2;
constexpr uint8_t kStepBrake = 4;
constexpr uint8_t kStepTurbo = 8;
constexpr uint8_t kStepTrailPixel = 16;  // the yellow trail pixel drawn by chance
constexpr uint8_t kStepDebugMarks = 32;  // the cave gauge marked what it passed ('D')

// The recorded frames and the step that ended the run.
constexpr int kMaxKeySteps = kMaxFrames + 1;
constexpr int kKeysPerLine = 64;

// Appends the section for steps[0..count-1] (1 <= count <= kMaxKeySteps),
// flown after `waited` frames without a flight key (-1: not said, as
// written before they were counted).
void AppendKeySection(std::string& out, const uint8_t* steps, int count, int32_t waited);

enum class KeySection {
    kAbsent,     // the file ends with its "LastFrame=" line: written before keys were kept
    kWhole,      // a whole key section follows "LastFrame="
    kMalformed,  // no "--END--" and "LastFrame=" lines, or anything else after them
};

// Reads the key section of a whole replay file. `steps` gets one entry per
// step when it is whole, and is emptied otherwise; `waited` (when given) the
// frames flown before the first flight key, or -1 when the section is not
// whole or does not say (written before they were counted).
KeySection ReadKeySection(std::string_view replay, std::vector<uint8_t>& steps, int32_t* waited = nullptr);

// A replay as the writer ends it: "--END--", then "LastFrame=" and a line
// end, then a whole key section or (as earlier versions wrote it) nothing.
bool IsCompleteReplay(std::string_view replay);
