// The map catalogue in Maps.ini: maps 1..50 with their records.
#pragma once

#include <cstdint>
#include <string>

// Fills gs.maps from gs.mapsIniPath. Loading stops at the first section
// without a "File" value, or before a map whose "Width" or "ScoreBest" cannot
// be used (the player is told in a message box); the entry where it stops is
// left with an empty `file`. A Maps.ini that is not a regular file of at most
// 1 MiB lists no maps, and the player is told.
void LoadMapCatalogue();

// ScoreBest and ScoreName of entry `index` set in the text of Maps.ini;
// false (text unchanged) when the values cannot be written so that they read
// back as they are. The record store
// writes the text back together with the run's replay.
bool SetMapRecordText(std::string& iniText, int16_t index);

// k written with two digits: "01" for 1.
std::string TwoDigits(int k);

// The stored (unmasked) text of a score: a blank, then the whole number.
std::string ScoreText(float score);
