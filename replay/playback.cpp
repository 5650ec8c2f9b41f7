// Placeholder until playback lands.
#include "replay/playback.h"
#include "shell/game_state.h"
void PlayReplay(int16_t) { gs.replayMode = kFalse; }
