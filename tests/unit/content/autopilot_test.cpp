// Every shipped cave can be flown to its end: an autopilot steers the real
// game, frame by frame as the main loop runs it, through each cave of the
// built program folder without the shield dropping below 0.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "autopilot.h"
#include "flight/cave_gauge.h"
#include "flight/ship_motion.h"
#include "gfx/picture_store.h"
#include "gfx/play_field.h"
#include "maps/map_catalogue.h"
#include "platform/headless/headless.h"
#include "replay/recording.h"
#include "shell/game_state.h"
#include "shell/keyboard.h"
#include "shell/run_start.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// A program folder of its own for each run, so that the records the runs
// set stay out of the build: the catalogue is copied, the pictures are
// linked (the game only reads them).
std::string MakeGameCopy() {
    const std::string d = testsupport::MakeTempDir("quillrun-autopilot");
    const fs::path from(QUILLRUN_GAME_DIR);
    for (const char* sub : {"Maps", "Pictures", "Replays"}) fs::create_directories(fs::path(d) / sub);
    for (const char* sub : {"Maps", "Pictures"}) {
        for (const auto& entry : fs::directory_iterator(from / sub)) {
            const fs::path to = fs::path(d) / sub / entry.path().filename();
            if (entry.path().filename() == "Maps.ini") {
                // Without records, should the build's game have set some.
                std::string clean, line;
                for (char c : testsupport::ReadFile(entry.path().string())) {
                    line += c;
                    if (c != '\n') continue;
                    if (line.rfind("ScoreBest=", 0) != 0 && line.rfind("ScoreName=", 0) != 0) clean += line;
                    line.clear();
                }
                testsupport::WriteFile(to.string(), clean + line);
            } else {
                fs::create_symlink(entry.path(), to);
            }
        }
    }
    return d;
}

struct RunResult {
    bool finished = false;
    float lowestShield = 100;
    long frames = 0, hits = 0, brakeFrames = 0;
    int score = 0;
    std::string hitPlaces;  // where the first hits were, for a look at the map
};

void Hold(bool want, bool& held, int16_t key) {
    if (want && !held) OnKeyDown(key);
    if (!want && held) OnKeyUp(key);
    held = want;
}

RunResult FlyCave(int k, const std::string& gameDir) {
    ResetGameState();
    HeadlessReset();
    SetProgramFolder(gameDir);
    std::string error;
    EXPECT_TRUE(InitPlayField(&error)) << error;
    LoadPictures();
    StartRun();
    LoadMapCatalogue();
    gs.selectedMap = static_cast<int16_t>(k);
    HeadlessQueueDialogAnswer("Autopilot");
    OnKeyDown(VK_RETURN);
    OnKeyUp(VK_RETURN);

    RunResult result;
    if (gs.playing == 0 || gs.mapSurface == nullptr) return result;
    autopilot::Rules rules;
    rules.gravity = gs.gravity;
    rules.thrustAccel = gs.thrustAccel;
    rules.scrollSpeed = gs.scrollSpeed;
    rules.shieldMax = gs.shieldMax;
    rules.shieldRegen = gs.shieldRegen;
    rules.fuelMax = gs.fuelMax;
    rules.impactFactor = gs.impactFactor;
    rules.mapWidth = gs.mapWidth;

    autopilot::Pilot pilot;
    bool up = false, down = false;
    // The first steering key starts the run.
    OnKeyDown(VK_UP);
    OnKeyUp(VK_UP);
    float lastX = 0;
    while (gs.playing != 0 && result.frames < 40000) {
        autopilot::Flight now{gs.scrollX, gs.shipX, gs.shipY, gs.velocityY, gs.fuel, gs.shield,
                              gs.colliding != 0, gs.brakeHeld != 0};
        autopilot::Keys keys = autopilot::Decide(pilot, now, rules, gs.mapSurface);
        Hold(keys.thrust == autopilot::kUp, up, VK_UP);
        Hold(keys.thrust == autopilot::kDown, down, VK_DOWN);
        if (keys.brake && gs.brakeHeld == 0) OnKeyDown(VK_LEFT);
        if (!keys.brake && gs.brakeHeld != 0) OnKeyUp(VK_LEFT);

        Cls();
        ScrollView();
        if (gs.started != 0) MeasureCave();
        lastX = gs.scrollX + gs.shipX;
        UpdateShip();
        RecordFrame();
        result.frames += 1;
        if (gs.brakeHeld != 0) result.brakeFrames += 1;
        if (gs.playing != 0) {
            if (gs.colliding != 0) {
                result.hits += 1;
                if (result.hits <= 8) {
                    char place[48];
                    std::snprintf(place, sizeof place, " (%.0f, %.0f)", lastX, gs.shipY);
                    result.hitPlaces += place;
                }
            }
            result.lowestShield = std::min(result.lowestShield, gs.shield);
        }
    }
    result.finished = gs.playing == 0 && gs.scrollX + gs.shipX > gs.mapWidth;
    result.score = static_cast<int>(std::floor(gs.score));
    return result;
}

class CaveFlight : public testing::TestWithParam<int> {};

TEST_P(CaveFlight, ReachesTheEndWithShieldLeft) {
    const int k = GetParam();
    const std::string dir = MakeGameCopy();
    RunResult r = FlyCave(k, dir);
    std::printf("cave %02d: %s after %ld frames, score %d, lowest shield %.1f, %ld hit frames, %ld brake frames\n",
                k, r.finished ? "finished" : "NOT finished", r.frames, r.score, r.lowestShield, r.hits,
                r.brakeFrames);
    if (r.hits > 0) std::printf("  first hits at%s\n", r.hitPlaces.c_str());
    RecordProperty("score", r.score);
    EXPECT_TRUE(r.finished) << "cave " << k << " ended at x " << gs.scrollX + gs.shipX << " of " << gs.mapWidth;
    EXPECT_GE(r.lowestShield, 0.0f);
    EXPECT_GT(r.score, 0);
    // The record went to the copy of the program folder.
    EXPECT_EQ(gs.maps[k].scoreName, "Autopilot");
    EXPECT_TRUE(testsupport::FileExists(dir + "/Replays/Map" + std::string(k < 10 ? "0" : "") + std::to_string(k) + ".replay"));
    ResetGameState();
    testsupport::RemoveTree(dir);
}

INSTANTIATE_TEST_SUITE_P(ShippedCaves, CaveFlight, testing::Range(1, 27),
                         [](const testing::TestParamInfo<int>& info) {
                             char name[16];
                             std::snprintf(name, sizeof name, "Cave%02d", info.param);
                             return std::string(name);
                         });

}  // namespace
