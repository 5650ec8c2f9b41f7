// The map catalogue in Maps.ini: maps 1..50 with their records.
#pragma once

#include <cstdint>
#include <string>

// Fills gs.maps from gs.mapsIniPath.
void LoadMapCatalogue();

// Writes ScoreBest and ScoreName of entry `index` to its section.
void StoreMapRecord(int16_t index);

// k written with two digits: "01" for 1.
std::string TwoDigits(int k);

// The stored (unmasked) text of a score: a blank, then the whole number.
std::string ScoreText(float score);
