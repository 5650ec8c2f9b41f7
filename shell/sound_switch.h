// The sound switch ('M', --mute, kept in the player's preferences) and the
// engine sounds of a frame.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// At start: sound off when the command line or the player's preferences say
// so (gs.muted already set stays set); tells the platform.
void StartSound();

// 'M': sound off or on, remembered in the player's preferences.
void ToggleSound();

// The loops a frame sounds: the engine while thrusting, turbo and brake
// while they act; none outside a moving run.
uint32_t EngineLoops();
