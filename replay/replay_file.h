// The replay file of a map's best run.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The player's Replays folder + "/Map" + two digits + ".replay".
std::string ReplayPath(int16_t map);

// Far above the largest file the game writes (30000 frames of six lines);
// a larger one is not read.
constexpr size_t kMaxReplayBytes = 4 << 20;

// Creates the Replays folder when it is missing.
void MakeReplayFolder();

void LoadBestRun();
float LoadReplayEntries(int16_t map);
