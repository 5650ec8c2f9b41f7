// Run start: the flight constants set, the ship's start height, the best run;
// and the reset of the state record.
// SPDX-License-Identifier: MIT
#include "shell/run_start.h"

#include <new>

#include "base/game_paths.h"
#include "base/game_state.h"
#include "flight/flight_constants.h"
#include "flight/flight_start.h"
#include "gfx/picture_store.h"
#include "replay/replay_file.h"

void StartRun() {
    gs.mapsIniPath = MapsIniPath();
    if (gs.selectedMap == 0) gs.selectedMap = 1;

    SetFlightConstants();
    gs.mapListRows = flight::kMapListRows;

    // The keys and the selection screen keep selectedMap in 0..50; the guard
    // only keeps a stray value from indexing outside the catalogue.
    if (gs.selectedMap < 1 || gs.selectedMap > kMapCount) gs.selectedMap = 1;
    const MapEntry& entry = gs.maps[gs.selectedMap];
    if (!entry.file.empty()) {
        // A cave that cannot be loaded ends the run before it begins.
        if (!LoadPictureSurface(gs.mapSurface, MapFolderFor(entry.file), entry.file)) gs.playing = kFalse;
        gs.mapWidth = entry.width;
        gs.scrollSpeed = flight::kScrollSpeed;
    }

    PlaceShipAtStart();
    gs.frameIndex = 0;
    gs.stepKeyCount = 0;
    gs.waitedFrames = 0;
    gs.runMap = gs.selectedMap;
    gs.paused = kFalse;
    gs.replaySeeking = kFalse;
    gs.helpShown = kFalse;

    for (int i = 1; i <= kMaxFrames; ++i) gs.recording[i] = ReplayFrame{};

    LoadBestRun();
}

void ResetGameState() {
    ReleasePictures();
    gs.~GameState();
    new (&gs) GameState();
}
