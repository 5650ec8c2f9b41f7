// Mending the player's Maps.ini at start when it cannot be read whole: the
// damaged file is kept beside it, the map list is made again, and the player
// is told once.
// SPDX-License-Identifier: MIT
#pragma once

// Before the catalogue is loaded. Maps.ini is damaged when it cannot be read
// (not a regular file of at most 1 MiB), lists no map, refuses a listed map
// (its Width or ScoreBest), is its last good copy cut short
// (CutShortOfGoodCopy), or lists a map of the shipped file without a Name.
// It is then replaced by the last good copy when that is a whole
// catalogue, or else mended: a partial last line is dropped, a listed map
// whose File is the shipped one of its number takes the shipped Width (and
// the shipped Name when it has none) and keeps its record, an unreadable
// ScoreBest is cleared with its ScoreName; a file that lists no map becomes
// the shipped catalogue. When no whole catalogue comes of it, nothing is
// written. Before the new file is written the damaged one is kept as
// Maps.ini.damaged-YYYYMMDD-HHMMSS (then -2, -3, ...); replays of maps that
// the new file holds no record for are kept the same way beside
// themselves, so that a record and its replay stay together. A missing
// Maps.ini is made again from a whole good copy.
void RepairMapsIni();
