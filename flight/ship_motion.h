// Scrolling the view and moving the ship; the collision half of UpdateShip
// lives in flight/collision.h.
// SPDX-License-Identifier: MIT
#pragma once

void ScrollView();
void UpdateShip();

// The engine's marks behind a ship at (shipMapX, shipY) in the map, painted
// into the map itself: red with a strong shield, a yellow spark by chance
// (not while braking), and yellow turbo flames. Draws one random number;
// true when the spark was painted.
bool PaintEngineTrail(double shipMapX, double shipY, double shield, bool braking, bool turbo);
