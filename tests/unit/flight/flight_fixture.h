// A small run set up in-process: a hand-made cave surface and the start
// values of a run, then frames stepped as the main loop steps them.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>

#include "flight/cave_gauge.h"
#include "flight/ship_motion.h"
#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "platform/headless/headless.h"
#include "replay/recording.h"
#include "shell/game_state.h"
#include "shell/run_start.h"
#include "test_support.h"

namespace flighttest {

constexpr uint32_t kRock = 0x808080;

inline double D(float v) { return static_cast<double>(v); }
inline float F(double v) { return static_cast<float>(v); }

// Starts a run on a cave of `width` x 200 whose pixel (x, y) is open when
// `open(x, y)` holds. The catalogue stays empty, so the run keeps this
// surface, the width and the speed given here.
inline std::string StartCave(int width, const std::function<bool(int, int)>& open, int mapWidth = 0) {
    ResetGameState();
    HeadlessReset();
    std::string dir = testsupport::MakeTempDir("quillrun-flight");
    ::mkdir((dir + "/Replays").c_str(), 0755);
    ::mkdir((dir + "/Maps").c_str(), 0755);
    SetProgramFolder(dir);
    gs.mapSurface = CreateSurface(width, 200);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < width; ++x) SetPixel(gs.mapSurface, x, y, open(x, y) ? 0 : kRock);
    gs.mapWidth = static_cast<int16_t>(mapWidth > 0 ? mapWidth : width);
    gs.scrollSpeed = 2.2f;
    StartRun();
    gs.playing = kTrue;
    return dir;
}

// Open between rows `top` and `bottom` inclusive, rock elsewhere.
inline std::string StartCorridor(int width, int top, int bottom, int mapWidth = 0) {
    return StartCave(width, [=](int, int y) { return y >= top && y <= bottom; }, mapWidth);
}

// One pass of a run that is not paused.
inline void Frame() {
    ScrollView();
    if (gs.started != 0) MeasureCave();
    UpdateShip();
    RecordFrame();
}

}  // namespace flighttest
