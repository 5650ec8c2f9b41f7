// A map's record kept whole: the best score and its holder in Maps.ini and
// the best run's replay file change together or not at all, also when the
// program is killed half-way.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "maps/settings_file.h"

// Stores scoreBest and scoreName of entry `map` of gs.maps and the recorded
// run as the map's replay. The new replay is written completely beside the
// old one under a pending name, then Maps.ini is replaced (both keys at
// once, its last good copy beside it first), then the replay is moved into
// place. When either file cannot be written neither changes, and the player
// is told once.
void StoreRecord(int16_t map);

// True when a catalogue is its good copy cut short: the start of it, ending
// within a line (or between the CR and LF of a line end), or lacking a
// record (ScoreBest, ScoreName) the copy holds for a map whose replay is
// there. A start of the copy that ends at a line end and lacks only what no
// replay backs is taken as written on purpose (a list set back to an earlier
// state, with its replays removed).
bool CutShortOfGoodCopy(const IniDocument& ini, const IniDocument& good);

// At start, after gs.mapsIniPath is set: a pending replay that a killed
// store left behind is moved into place when Maps.ini already holds its
// record, and removed otherwise; leftover temporary files of Maps.ini, of
// its good and damaged copies and of the replay files are removed. Then the
// good copy is made to hold a whole Maps.ini, unless Maps.ini is the start
// of it cut short.
void RecoverRecords();
