// The start of a flight: the constants set into the state record and the
// ship placed at the cave's mouth, waiting for the first flight key.
// SPDX-License-Identifier: MIT
#pragma once

// Gravity, thrust, the ship's start column, shield, fuel and their rules,
// the cave gauge's reach.
void SetFlightConstants();

// Places the ship in the cave on gs.mapSurface (the middle of the first open
// span in its start column) and sets the motion state of a waiting ship:
// no scroll, no score, full fuel, no speed, no keys, not started.
void PlaceShipAtStart();
