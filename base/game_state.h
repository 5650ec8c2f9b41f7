// The one record of all state that lives longer than a call. Every game
// procedure reads and writes its fields directly; there is no other channel.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

#include "base/conversions.h"

struct Surface;

// Flags hold -1 for true and 0 for false; code tests them against 0.
using Flag = int16_t;
constexpr Flag kTrue = -1;
constexpr Flag kFalse = 0;

constexpr int kMapCount = 50;        // maps 1..50; entry 0 is never a map
constexpr int kMaxFrames = 30000;    // recording entries 1..30000

struct MapEntry {
    std::string file;       // picture file inside Maps/; empty: no map here
    int16_t width = 0;      // run length in pixels
    std::string name;
    float scoreBest = 0;    // a whole number; 0 means no record yet
    std::string scoreName;
};

// Six whole numbers stored as floats. The playback reader reuses the array
// in another layout: entry i holds line i of the replay file.
struct ReplayFrame {
    float mapX = 0;
    float shipX = 0;
    float shipY = 0;
    float score = 0;
    float shield = 0;
    float fuel = 0;
};

struct GameState {
    Flag thrustUpHeld = 0;
    Flag thrustDownHeld = 0;
    Flag brakeHeld = 0;
    Flag turboHeld = 0;
    int16_t turboMinShield = 0;
    Flag debugDraw = 0;
    Flag paused = 0;
    float shipX = 0;
    float shipY = 0;
    float velocityY = 0;
    float thrustAccel = 0;
    Flag colliding = 0;
    int16_t impactFactor = 0;
    float shield = 0;
    float shieldMax = 0;
    float shieldRegen = 0;
    int16_t fuelMax = 0;
    float fuel = 0;
    float scrollX = 0;
    float scrollSpeed = 0;
    int16_t mapWidth = 0;
    int16_t selectedMap = 0;
    int16_t runMap = 0;
    float gravity = 0;
    Flag playing = 0;
    Flag started = 0;
    float score = 0;
    int16_t gapBelow = 0;
    int16_t gapAbove = 0;
    int16_t gaugeRange = 0;
    float shieldBonus = 0;
    float brakeShieldBonus = 0;
    float narrowBonus = 0;
    int16_t lastScore = 0;
    MapEntry maps[kMapCount + 1];
    std::string mapsIniPath;
    int16_t mapListRows = 0;
    ReplayFrame recording[kMaxFrames + 1];
    int16_t frameIndex = 0;
    // Entry k: the keys step k of the run found held and its trail pixel
    // (replay/key_section.h); entry frameIndex + 1 is the step in flight, and
    // a run past the last frame keeps its latest step there.
    uint8_t stepKeys[kMaxFrames + 2] = {};
    int16_t stepKeyCount = 0;
    int32_t waitedFrames = 0;  // frames flown before the first flight key of the run; -1: not known
    Flag trailPixel = 0;  // the step's engine trail drew its yellow pixel by chance
    Flag replayMode = 0;
    Flag replaySeeking = 0;
    Flag slowMotion = 0;
    int16_t bestRun[kMaxFrames + 1] = {};
    Flag raceWorld = 0;        // 'B': runs race the world's best run of their map where one was fetched
    Flag racingWorld = 0;      // this run's bestRun is the world's best run
    float worldRunScore = 0;   // the final score of that run
    Flag worldRunShown = 0;    // the replay played is the world's best run ('W')
    Flag helpShown = 0;
    int32_t secondStartTick = 0;
    int32_t framesThisSecond = 0;
    int32_t nextFrameTick = 0;
    int32_t fps = 0;
    Surface* mapSurface = nullptr;
    Surface* shipSurface = nullptr;
    Surface* backgroundSurface = nullptr;
    Surface* helpSurface = nullptr;
    std::string routeTablePath;  // where the upload reads the machine's routes; empty: /proc/net/route
    Flag muted = 0;  // sound off ('M', --mute, the player's preferences)
};

extern GameState gs;

// shieldMax / 100 x shield, rounded to single precision: of the flight's
// shield, or of a shield value shown by a replay.
inline float EffectiveShield(double shield) {
    return static_cast<float>(static_cast<double>(gs.shieldMax) / 100.0 * shield);
}
inline float EffectiveShield() { return EffectiveShield(static_cast<double>(gs.shield)); }
