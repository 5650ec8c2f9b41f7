// The replay file of a map's best run.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The player's Replays folder + "/Map" + two digits + ".replay".
std::string ReplayPath(int16_t map);
// The best proven run of a map as last fetched from the score server, kept
// apart from the player's own: Replays/World/MapNN.replay.
std::string WorldReplayFolder();
std::string WorldReplayPath(int16_t map);

// Far above the largest file the game writes (30000 frames of six lines);
// a larger one is not read.
constexpr size_t kMaxReplayBytes = 4 << 20;

// Creates the Replays folder when it is missing.
void MakeReplayFolder();

// Reads the table of the best run raced: the player's own, or the world's
// best run when gs.raceWorld is set and one was fetched for the map
// (gs.racingWorld and gs.worldRunScore tell which).
void LoadBestRun();
// Reads a replay file into gs.recording in the playback layout; returns its
// LastFrame value.
float LoadReplayEntries(const std::string& path);
