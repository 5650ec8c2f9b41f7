// Scrolling and the motion half of UpdateShip. Every right-hand side is
// evaluated in double precision from the stored values and rounded to single
// precision only where it is stored, so that a run is reproducible bit for
// bit.
// SPDX-License-Identifier: MIT
#include "flight/ship_motion.h"

#include "base/conversions.h"
#include "base/game_state.h"
#include "base/geometry.h"
#include "flight/collision.h"
#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "platform/platform.h"

using namespace precision;

void ScrollView() {
    BitBlt(MainField.image, 0, 0, kViewWidth, kViewHeight, gs.mapSurface, Near(D(gs.scrollX)), 0, SRCCOPY);
    if (gs.started == 0) return;
    // The brake only halves the scroll while there is fuel; turbo is released
    // later in the frame when it cannot be paid for.
    double step;
    if (D(gs.fuel) > 0 && gs.brakeHeld != 0) {
        step = D(gs.scrollSpeed) / 2.0;
    } else if (gs.turboHeld == 0) {
        step = D(gs.scrollSpeed);
    } else {
        step = D(gs.scrollSpeed) * 2.0;
    }
    gs.scrollX = F(D(gs.scrollX) + step);
}

void UpdateShip() {
    // Brake fuel.
    if (gs.brakeHeld == 0) {
        if (D(gs.fuel) >= D(gs.fuelMax)) gs.fuel = F(D(gs.fuelMax));
    } else if (D(gs.fuel) > 0) {
        gs.fuel = F(D(gs.fuel) - 1.0);
    } else {
        gs.fuel = 0;
        gs.brakeHeld = kFalse;
    }

    // Turbo fuel; a weak shield empties the tank as well.
    if (gs.turboHeld == 0) {
        if (D(gs.fuel) >= D(gs.fuelMax)) gs.fuel = F(D(gs.fuelMax));
    } else if (D(gs.fuel) <= 0 || D(EffectiveShield()) <= D(gs.turboMinShield)) {
        gs.fuel = 0;
        gs.turboHeld = kFalse;
    } else {
        gs.fuel = F(D(gs.fuel) - 1.0);
    }

    // Refill after the cap: an idle frame ends at fuelMax + 1.
    if (gs.brakeHeld == 0 && gs.turboHeld == 0) gs.fuel = F(D(gs.fuel) + 1.0);

    if (gs.started != 0) {
        // A bounce speed set by the last frame's collision lasts one frame.
        if (gs.colliding == 0) {
            if (gs.thrustUpHeld != 0) {
                gs.velocityY = F(D(gs.thrustAccel) + D(gs.velocityY));
            } else if (gs.thrustDownHeld == 0) {
                gs.velocityY = F(D(gs.gravity) + D(gs.velocityY));
            } else {
                gs.velocityY = F(D(gs.gravity) + D(gs.velocityY) - D(gs.thrustAccel));
            }
        }
        gs.shipY = F(D(gs.shipY) + D(gs.velocityY));

        // The catalogue refuses maps without a width; the guard only keeps a
        // stray zero from turning the drift into infinity.
        const double ratio = gs.mapWidth > 0 ? kDriftFactor / D(gs.mapWidth) : 0.0;
        if (gs.brakeHeld != 0) {
            gs.shipX = F(D(gs.shipX) + (D(gs.scrollSpeed) / 2.0) * ratio);
        } else if (gs.turboHeld == 0) {
            gs.shipX = F(D(gs.shipX) + ratio * D(gs.scrollSpeed));
        } else {
            gs.shipX = F(D(gs.shipX) + ratio * D(gs.scrollSpeed) * 2.0);
        }
    }

    // The ship: mask first, then the image over it.
    const int drawX = Near(D(gs.shipX));
    const int drawY = Near(D(gs.shipY));
    BitBlt(MainField.image, drawX, drawY, kShipWidth, kShipHeight, gs.shipSurface, 0, kShipHeight, SRCAND);
    BitBlt(MainField.image, drawX, drawY, kShipWidth, kShipHeight, gs.shipSurface, 0, 0, SRCPAINT);

    const bool spark =
        PaintEngineTrail(D(gs.scrollX) + D(gs.shipX), D(gs.shipY), D(gs.shield), gs.brakeHeld != 0, gs.turboHeld != 0);
    gs.trailPixel = spark ? kTrue : kFalse;
    CollideShip();
}

bool PaintEngineTrail(double shipMapX, double shipY, double shield, bool braking, bool turbo) {
    // The trail is painted into the map itself and counts as rock later on.
    const double effective = D(EffectiveShield(shield));
    if (effective > 70) SetPixel(gs.mapSurface, Near(shipMapX), Near(shipY + 1.0), kRed);
    // One number is drawn every frame, whether or not the pixel is painted.
    const double r = PlatformRandom();
    const bool spark = effective > 10 && !braking && Whole(r * (10.0 - D(gs.shieldMax) / 1000.0 * shield)) <= 0;
    if (spark) SetPixel(gs.mapSurface, Near(shipMapX + 2.0), Near(shipY + 4.0), kYellow);
    if (effective > 40) SetPixel(gs.mapSurface, Near(shipMapX), Near(shipY + 7.0), kRed);
    if (effective > D(gs.turboMinShield) && turbo) {
        SetPixel(gs.mapSurface, Near(shipMapX + 2.0), Near(shipY + 2.0), kYellow);
        SetPixel(gs.mapSurface, Near(shipMapX + 2.0), Near(shipY + 6.0), kYellow);
    }
    return spark;
}
