// The replay file of a map's best run.
#pragma once

#include <cstdint>
#include <string>

// The player's Replays folder + "/Map" + two digits + ".replay".
std::string ReplayPath(int16_t map);

void SaveReplay(int16_t map);
void LoadBestRun();
float LoadReplayEntries(int16_t map);
