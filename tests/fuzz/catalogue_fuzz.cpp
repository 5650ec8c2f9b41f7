// Maps.ini as arbitrary bytes: the INI reader and the catalogue load never
// fail on it, a load tells the player at most once, and a record is stored
// whole or not at all: it reads back as stored (or, when the holder's name as
// read cannot stand on an INI line once masked, the file is left as it was)
// while every other map stays as it was.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/game_state.h"
#include "fuzz_support.h"
#include "maps/map_catalogue.h"
#include "replay/record_store.h"
#include "maps/settings_file.h"
#include "headless/headless.h"

namespace {

int LoadCatalogue() {
    for (MapEntry& entry : gs.maps) entry = MapEntry{};
    const size_t before = HeadlessMessages().size();
    LoadMapCatalogue();
    fuzzsupport::Require(HeadlessMessages().size() - before <= 1, "at most one message per load");
    int count = 0;
    while (count < kMapCount && !gs.maps[count + 1].file.empty()) ++count;
    for (int k = 1; k <= count; ++k) {
        fuzzsupport::Require(gs.maps[k].width >= 1, "a listed map has a width of 1 or more");
        fuzzsupport::Require(std::isfinite(gs.maps[k].scoreBest), "a listed map has a finite best score");
    }
    return count;
}

bool SameEntry(const MapEntry& a, const MapEntry& b) {
    return a.file == b.file && a.width == b.width && a.name == b.name && a.scoreBest == b.scoreBest &&
           a.scoreName == b.scoreName;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& folder = fuzzsupport::GameFolder();
    HeadlessReset();
    gs.mapsIniPath = folder + "/Maps/Maps.ini";
    fuzzsupport::WriteInput(gs.mapsIniPath, data, size);

    const int count = LoadCatalogue();
    if (count == 0) return 0;

    // A new record for the first map, with the holder's name as it was read.
    MapEntry before[kMapCount + 1], stored[kMapCount + 1];
    for (int k = 1; k <= count; ++k) before[k] = stored[k] = gs.maps[k];
    stored[1].scoreBest = static_cast<float>(1 + size % 30000);
    gs.maps[1].scoreBest = stored[1].scoreBest;
    StoreRecord(1);

    // The writer refuses a value holding a line break or NUL, and with it the
    // whole record.
    const std::string masked = MaskText(before[1].scoreName, kScoreMask);
    const bool storable = masked.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;

    fuzzsupport::Require(LoadCatalogue() == count, "storing a record keeps the map list");
    const MapEntry* expected = storable ? stored : before;
    for (int k = 1; k <= count; ++k)
        fuzzsupport::Require(SameEntry(gs.maps[k], expected[k]), "a record is stored whole or not at all, others kept");
    return 0;
}
