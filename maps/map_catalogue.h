// The map catalogue in Maps.ini: maps 1..50 with their records.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

#include "base/game_state.h"
#include "maps/settings_file.h"

// Fills gs.maps from gs.mapsIniPath. Loading stops at the first section
// without a "File" value, or before a map whose "Width" or "ScoreBest" cannot
// be used (the player is told in a message box); the entry where it stops is
// left with an empty `file`. A Maps.ini that is not a regular file of at most
// 1 MiB lists no maps, and the player is told.
void LoadMapCatalogue();

// ScoreBest and ScoreName of entry `index` set in the text of Maps.ini;
// false (text unchanged) when the values cannot be written so that they read
// back as they are. The record store writes the text back together with the
// run's replay.
bool SetMapRecordText(std::string& iniText, int16_t index);

// k written with two digits: "01" for 1.
std::string TwoDigits(int k);

// The stored (unmasked) text of a score: a blank, then the whole number.
std::string ScoreText(float score);

// Why a listed map cannot be flown: the key, its value, what it should be.
struct MapRefusal {
    std::string key;
    std::string value;
    std::string expected;
};

enum class SectionRead { kMap, kEnd, kRefused };

// Reads map k of a loaded Maps.ini into `entry`: kEnd when the section has
// no File, kRefused (with `why`) for a map that cannot be flown; `entry` is
// changed only for kMap, and keeps its scoreBest when none is stored.
SectionRead ReadMapSection(const IniDocument& ini, int k, MapEntry& entry, MapRefusal& why);

// What a Maps.ini lists: maps 1..`maps`, and whether the list ends at a map
// it refuses (`why`).
struct CatalogueCheck {
    int maps = 0;
    bool refused = false;
    MapRefusal why;
};
CatalogueCheck CheckCatalogue(const IniDocument& ini);

// True when the catalogue lists at least one map and refuses none.
bool CatalogueWhole(const IniDocument& ini);

// The last good copy of the catalogue at `iniPath`: `iniPath` + ".good".
std::string GoodCopyPath(const std::string& iniPath);

// Makes the good copy hold `text` when that is a whole catalogue; removes
// the copy otherwise, or when it cannot be written.
void KeepGoodCopy(const std::string& iniPath, const std::string& text);

// Replaces the catalogue at `iniPath` with `text` in one step; once the new
// file is on disk, and before it takes the old one's place, the good copy
// is made to hold it too (KeepGoodCopy). False when Maps.ini could not be
// replaced; the good copy is then removed if it was already written.
bool ReplaceCatalogue(const std::string& iniPath, const std::string& text);

// `iniPath` + ".damaged": a damaged catalogue is kept under this name + "-"
// + the local date and time (YYYYMMDD-HHMMSS), copied through a temporary
// file named after it.
std::string DamagedCopyBase(const std::string& iniPath);
