#pragma once

#include <cstdint>

// Plays the map's best run back with its own paced loop.
void PlayReplay(int16_t map);
