// An autopilot for the shipped caves: it reads the ship's state and the map
// every frame, looks ahead with an exact copy of the flight rules, and says
// which steering keys should be held.
#pragma once

#include <cstdint>

struct Surface;

namespace autopilot {

// The flight values the look-ahead needs, as the game stores them.
struct Flight {
    float scrollX = 0, shipX = 0, shipY = 0, velocityY = 0, fuel = 0, shield = 0;
    bool colliding = false, brake = false;
};
struct Rules {
    float gravity = 0, thrustAccel = 0, scrollSpeed = 0, shieldMax = 0, shieldRegen = 0;
    int16_t fuelMax = 0, impactFactor = 0, mapWidth = 0;
};
enum Thrust { kUp = -1, kNone = 0, kDown = 1 };
struct Keys {
    Thrust thrust = kNone;
    bool brake = false;
};
// Steer towards height `first` until frame `switchFrame` (counted from the
// frame the plan was made), then towards `second`; brake for `brakeFrames`.
struct Plan {
    float first = 0, second = 0;
    int switchFrame = 0, brakeFrames = 0;
};
struct Pilot {
    Plan plan;
    int age = 1 << 20;  // frames since the plan was made
};

// The keys for the next frame.
Keys Decide(Pilot& pilot, const Flight& now, const Rules& rules, const Surface* map);

}  // namespace autopilot
