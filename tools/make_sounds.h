// The game's sounds, synthesised by the content generator: soft tones and
// filtered noise written as WAV files.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"

// Sample rate of every sound; the loops last a whole number of periods of
// each of their tones, so they repeat without a seam.
constexpr int kSoundRate = 22050;

// The WAV file of a sound: 16-bit PCM, one channel, kSoundRate.
std::vector<uint8_t> MakeSoundWav(SoundId id);
