// Collision probes, damage, regeneration and the end of a run.
#pragma once

// Steps 9 to 14 of UpdateShip: probes, pushes, bounces, shield, map end.
void CollideShip();

// The end-of-run sequence: record check, name, replay, game-over screen.
void EndRun();
