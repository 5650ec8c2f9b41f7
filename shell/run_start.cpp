// Run start: the flight constants set, the ship's start height, the best run;
// and the reset of the state record.
// SPDX-License-Identifier: MIT
#include "shell/run_start.h"

#include <new>

#include "base/game_paths.h"
#include "base/game_state.h"
#include "base/geometry.h"
#include "flight/flight_constants.h"
#include "gfx/picture_store.h"
#include "gfx/surface.h"
#include "replay/replay_file.h"

void StartRun() {
    gs.mapsIniPath = MapsIniPath();
    if (gs.selectedMap == 0) gs.selectedMap = 1;

    gs.gravity = flight::kGravity;
    gs.shipX = flight::kStartShipX;
    gs.thrustAccel = flight::kThrustAccel;
    gs.shield = flight::kShieldStart;
    gs.shieldMax = flight::kShieldMax;
    gs.impactFactor = flight::kImpactFactor;
    gs.fuelMax = flight::kFuelMax;
    gs.turboMinShield = flight::kTurboMinShield;
    gs.gaugeRange = flight::kGaugeRange;
    gs.mapListRows = flight::kMapListRows;
    gs.shieldRegen = flight::kShieldRegen;

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

    // Start height in column x = 30: the first open row from the top, then
    // the first rock row below it.
    const int x = Near(gs.shipX);
    int16_t topOpen = 0;
    int16_t bottomRock = 0;
    int y = 1;
    for (; y <= kMapHeight; ++y) {
        if (GetPixel(gs.mapSurface, x, y) == 0) {
            topOpen = static_cast<int16_t>(y);
            break;
        }
    }
    for (; y <= kMapHeight; ++y) {
        if (GetPixel(gs.mapSurface, x, y) != 0) {
            bottomRock = static_cast<int16_t>(y);
            break;
        }
    }
    gs.shipY = static_cast<float>(static_cast<int16_t>(topOpen + bottomRock / 2 - 4));

    gs.scrollX = 0;
    gs.score = 0;
    gs.frameIndex = 0;
    gs.stepKeyCount = 0;
    gs.runMap = gs.selectedMap;
    gs.fuel = gs.fuelMax;
    gs.velocityY = 0;
    gs.brakeHeld = kFalse;
    gs.turboHeld = kFalse;
    gs.thrustUpHeld = kFalse;
    gs.thrustDownHeld = kFalse;
    gs.paused = kFalse;
    gs.started = kFalse;
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
