// The start of a flight: constants and the ship's start height.
// SPDX-License-Identifier: MIT
#include "flight/flight_start.h"

#include "base/game_state.h"
#include "base/geometry.h"
#include "flight/flight_constants.h"
#include "gfx/surface.h"

void SetFlightConstants() {
    gs.gravity = flight::kGravity;
    gs.shipX = flight::kStartShipX;
    gs.thrustAccel = flight::kThrustAccel;
    gs.shield = flight::kShieldStart;
    gs.shieldMax = flight::kShieldMax;
    gs.impactFactor = flight::kImpactFactor;
    gs.fuelMax = flight::kFuelMax;
    gs.turboMinShield = flight::kTurboMinShield;
    gs.gaugeRange = flight::kGaugeRange;
    gs.shieldRegen = flight::kShieldRegen;
}

void PlaceShipAtStart() {
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
    gs.fuel = gs.fuelMax;
    gs.velocityY = 0;
    gs.brakeHeld = kFalse;
    gs.turboHeld = kFalse;
    gs.thrustUpHeld = kFalse;
    gs.thrustDownHeld = kFalse;
    gs.started = kFalse;
}
