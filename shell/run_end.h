// The end of a run: record, name, replay, GAME OVER.
// SPDX-License-Identifier: MIT
#pragma once

// The end-of-run sequence: record check, name, replay, game-over screen.
void EndRun();
