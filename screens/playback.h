// Playing a map's best run back from its replay file.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// Plays the map's best run back: the player's own, or the world's best run
// when gs.worldRunShown is set. Every shown frame ends with `endFrame`,
// which paces the frame and dispatches the window's events (the shell's
// pacer; playback sits below the shell and does not call up into it).
void PlayReplay(int16_t map, void (*endFrame)());
