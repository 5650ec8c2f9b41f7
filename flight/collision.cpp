// The collision half of UpdateShip: probes, bounces, shield, the end of the map.
// SPDX-License-Identifier: MIT
#include "flight/collision.h"

#include <algorithm>

#include "base/conversions.h"
#include "base/game_state.h"
#include "base/geometry.h"
#include "gfx/surface.h"
#include "platform/platform.h"

using namespace precision;

namespace {

// Only these two pixels of the ship are tested: its top and bottom rows,
// a few pixels from its left edge. Anything outside the map reads as rock.
int ProbeX() { return Near(D(gs.scrollX) + D(gs.shipX) + kProbeOffsetX); }
bool TopInRock() { return GetPixel(gs.mapSurface, ProbeX(), Near(D(gs.shipY))) != 0; }
bool BottomInRock() { return GetPixel(gs.mapSurface, ProbeX(), Near(D(gs.shipY) + kProbeBottomY)) != 0; }

// The shield a hit costs when the ship meets rock at 2 px/frame: the hit
// sound is at full strength from there on.
constexpr double kHardHitLoss = 28.0;

}  // namespace

void CollideShip() {
    const double impact = D(gs.impactFactor);
    const double shieldBefore = D(gs.shield);

    gs.colliding = kFalse;
    if (TopInRock()) {
        gs.colliding = kTrue;
        if (D(gs.velocityY) < 0) {
            gs.shield = F(impact * D(gs.velocityY) + D(gs.shield));
        } else {
            gs.shield = F(D(gs.shield) - (impact * D(gs.velocityY)) / 2.5);
        }
        gs.shipY = F(D(gs.shipY) + 1.0);
        if (TopInRock()) gs.shipY = F(D(gs.shipY) + 2.0);
        if (D(gs.velocityY) < 0) {
            gs.velocityY = F(-(D(gs.velocityY) / 2.0));
        } else {
            gs.velocityY = F(0.8);
        }
    }

    // The bottom probe sees the position and speed that the top hit left.
    if (BottomInRock()) {
        gs.colliding = kTrue;
        if (D(gs.velocityY) < 0) {
            gs.shield = F((impact * D(gs.velocityY)) / 2.5 + D(gs.shield));
        } else {
            gs.shield = F(D(gs.shield) - impact * D(gs.velocityY));
        }
        gs.shipY = F(D(gs.shipY) - 1.0);
        if (BottomInRock()) gs.shipY = F(D(gs.shipY) - 2.0);
        if (D(gs.velocityY) > 0) {
            gs.velocityY = F(-(D(gs.velocityY) / 2.0));
        } else {
            gs.velocityY = F(-0.2);
        }
    }

    // Read only for the sound; the regeneration below is no part of a hit.
    double loss = shieldBefore - D(gs.shield);

    if (D(gs.shield) < D(gs.shieldMax)) gs.shield = F(D(gs.shield) + D(gs.shieldRegen));

    // Wedged between rock above and below.
    if (TopInRock() && BottomInRock()) {
        gs.shield = F(D(gs.shield) - 1.0);
        loss += 1.0;
    }

    if (D(F(D(gs.scrollX) + D(gs.shipX))) > D(gs.mapWidth)) gs.shield = -1;

    if (loss > 0) PlatformPlaySound(SoundId::kHit, static_cast<float>(std::min(loss / kHardHitLoss, 1.0)));
}
