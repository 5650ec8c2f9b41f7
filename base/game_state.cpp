// The one game state record.
#include "base/game_state.h"

GameState gs;
