// The screens that close a run and a replay.
// SPDX-License-Identifier: MIT
#pragma once

// GAME OVER with the run's whole score, and the map's best score when there
// is a map and its best differs. Shown at once.
void DrawGameOver(float score, bool hasBest, float best);

// END OF REPLAY with the best score of the map. Shown at once.
void DrawEndOfReplay(float best);
