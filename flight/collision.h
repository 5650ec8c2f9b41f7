// Collision probes, damage and regeneration.
// SPDX-License-Identifier: MIT
#pragma once

// The collision half of UpdateShip: probes, pushes, bounces, shield, map
// end. A shield below 0 afterwards ends the run (the shell's FlyFrame).
void CollideShip();
