#pragma once

// Resets GameState for a new run and places the ship at the start of the
// selected map.
void StartRun();
