// The flight's constants, set into the state record at every run start:
// gravity and thrust, the ship's start column, shield, fuel and their rules,
// the cave gauge's reach and the scroll speed.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace flight {
constexpr float kGravity = 0.045f;          // px/frame^2, downwards
constexpr float kThrustAccel = -0.045f;     // px/frame^2 while UP is held
constexpr float kStartShipX = 30;           // column of the ship at start
constexpr float kShieldStart = 100;
constexpr float kShieldMax = 100;
constexpr float kShieldRegen = 0.01f;       // shield points per frame
constexpr int16_t kImpactFactor = 14;       // shield lost per px/frame of impact
constexpr int16_t kFuelMax = 200;
constexpr int16_t kTurboMinShield = 30;         // turbo needs more effective shield
constexpr int16_t kGaugeRange = 20;             // rows the cave gauge probes
constexpr int16_t kMapListRows = 15;            // rows of the selection list
constexpr float kScrollSpeed = 2.2f;        // px/frame at normal speed
}  // namespace flight
