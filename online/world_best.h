// The world's best run of a map: its best proven run on the score server,
// fetched into the player's folder to be watched and raced.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// Fetches the map's best proven run into WorldReplayPath(map). True when it
// is there, a whole replay; otherwise the player has been told why not and
// an earlier copy stays as it was.
bool FetchWorldBestRun(int16_t map);
