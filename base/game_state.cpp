// The one game state record.
// SPDX-License-Identifier: MIT
#include "base/game_state.h"

GameState gs;
