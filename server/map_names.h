// The official map names, read from a Maps.ini catalogue.
// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

// Names of maps 1..26 as UTF-8 (index 0 unused). The file's names are in
// Windows-1252; a missing file or name gives "Map N".
std::vector<std::string> ReadMapNames(const std::string& mapsIniPath);
