// The start of a run, and the reset of the state record to program start.
// SPDX-License-Identifier: MIT
#pragma once

// Resets GameState for a new run and places the ship at the start of the
// selected map.
void StartRun();

// Puts every field back to its program-start value (all zero, texts empty,
// no surfaces held). Surfaces still held are released first.
void ResetGameState();
