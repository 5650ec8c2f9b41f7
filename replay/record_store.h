// A map's record kept whole: the best score and its holder in Maps.ini and
// the best run's replay file change together or not at all, also when the
// program is killed half-way.
#pragma once

#include <cstdint>

// Stores scoreBest and scoreName of entry `map` of gs.maps and the recorded
// run as the map's replay. The new replay is written completely beside the
// old one under a pending name, then Maps.ini is replaced (both keys at
// once, its last good copy beside it first), then the replay is moved into
// place. When either file cannot be written neither changes, and the player
// is told once.
void StoreRecord(int16_t map);

// At start, after gs.mapsIniPath is set: a pending replay that a killed
// store left behind is moved into place when Maps.ini already holds its
// record, and removed otherwise; leftover temporary files of Maps.ini, of
// its good and damaged copies and of the replay files are removed. Then the
// good copy is made to hold a whole Maps.ini, unless Maps.ini is the start
// of it cut short.
void RecoverRecords();
