// Reading the official map names from the catalogue.
// SPDX-License-Identifier: MIT
#include "server/map_names.h"

#include <cstdio>

#include "base/codepage.h"
#include "maps/settings_file.h"
#include "server/score_store.h"

std::vector<std::string> ReadMapNames(const std::string& mapsIniPath) {
    std::vector<std::string> names(kLastMap + 1);
    for (int k = kFirstMap; k <= kLastMap; ++k) {
        char section[8];
        std::snprintf(section, sizeof section, "%02d", k);
        const std::string name = ReadIniValue(section, "Name", mapsIniPath);
        names[k] = name.empty() ? "Map " + std::to_string(k) : Cp1252ToUtf8(name);
    }
    return names;
}
