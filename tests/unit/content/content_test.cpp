// The shipped content as built into the program folder: the caves' sizes,
// and an autopilot that flies every cave to its end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "autopilot.h"
#include "base/game_paths.h"
#include "base/game_state.h"
#include "gfx/picture_store.h"
#include "gfx/play_field.h"
#include "maps/map_catalogue.h"
#include "maps/settings_file.h"
#include "online/known_map_sizes.h"
#include "online/score_upload.h"
#include "headless/headless.h"
#include "shell/keyboard.h"
#include "shell/main_loop.h"
#include "shell/run_start.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

const std::string kGame = QUILLRUN_GAME_DIR;

void LoadCatalogue(const std::string& dir) {
    ResetGameState();
    HeadlessReset();
    SetGameFolders({dir, dir});
    gs.mapsIniPath = dir + "/Maps/Maps.ini";
    LoadMapCatalogue();
}
std::string CavePath(int k) { return kGame + "/Maps/" + gs.maps[k].file; }

// Every shipped cave has the byte size the score upload checks.
TEST(ShippedContent, CaveFilesHaveTheSizesTheUploadAccepts) {
    LoadCatalogue(kGame);
    for (int k = 1; k <= kKnownMaps; ++k) EXPECT_EQ(FileSizeText(CavePath(k)), knownMapSizes[k]) << gs.maps[k].file;
    EXPECT_TRUE(gs.maps[kKnownMaps + 1].file.empty());
}

void Hold(bool want, bool& held, int16_t key) {
    if (want != held) want ? OnKeyDown(key) : OnKeyUp(key);
    held = want;
}

// The autopilot steers the real game, frame by frame as the main loop runs
// it, through the cave of a fresh program folder without the shield
// dropping below 0; the records and replays go to that folder.
class CaveFlight : public testing::TestWithParam<int> {
protected:
    // A program folder over the built content, with a catalogue of its own
    // that holds no records: every test runs in a process of its own, so
    // generating the content again each time would cost seconds per cave.
    static void SetUpTestSuite() {
        dir = MakeTempDir("quillrun-autopilot");
        fs::create_directories(dir + "/Maps");
        fs::create_directories(dir + "/Replays");
        fs::create_directory_symlink(kGame + "/Pictures", dir + "/Pictures");
        const std::string built = kGame + "/Maps/Maps.ini", ini = dir + "/Maps/Maps.ini";
        for (int k = 1; k <= kKnownMaps; ++k) {
            const std::string section = std::string(k < 10 ? "0" : "") + std::to_string(k);
            const std::string file = ReadIniValue(section, "File", built);
            fs::create_symlink(kGame + "/Maps/" + file, dir + "/Maps/" + file);
            for (const char* key : {"File", "Width", "Name"}) WriteIniValue(section, key, ReadIniValue(section, key, built), ini);
        }
    }
    static void TearDownTestSuite() { RemoveTree(dir); }
    static inline std::string dir;
};

TEST_P(CaveFlight, ReachesTheEndWithShieldLeft) {
    const int k = GetParam();
    LoadCatalogue(dir);
    std::string error;
    ASSERT_TRUE(InitPlayField(&error)) << error;
    LoadPictures();
    StartRun();
    LoadMapCatalogue();
    gs.selectedMap = static_cast<int16_t>(k);
    HeadlessQueueDialogAnswer("Autopilot");
    for (int16_t key : {VK_RETURN, VK_UP}) OnKeyDown(key), OnKeyUp(key);  // then the first steering key starts the run
    ASSERT_TRUE(gs.playing != 0 && gs.mapSurface != nullptr);
    const autopilot::Rules rules{gs.gravity,  gs.thrustAccel, gs.scrollSpeed,  gs.shieldMax,
                                 gs.shieldRegen, gs.fuelMax,  gs.impactFactor, gs.mapWidth};
    autopilot::Pilot pilot;
    bool up = false, down = false;
    float lowest = gs.shield;
    long frames = 0;
    for (; gs.playing != 0 && frames < 40000; ++frames) {
        const autopilot::Flight now{gs.scrollX, gs.shipX,  gs.shipY,           gs.velocityY,
                                    gs.fuel,    gs.shield, gs.colliding != 0, gs.brakeHeld != 0};
        const autopilot::Keys keys = autopilot::Decide(pilot, now, rules, gs.mapSurface);
        Hold(keys.thrust == autopilot::kUp, up, VK_UP);
        Hold(keys.thrust == autopilot::kDown, down, VK_DOWN);
        bool brake = gs.brakeHeld != 0;
        Hold(keys.brake, brake, VK_LEFT);
        Cls();
        FlyFrame();
        if (gs.playing != 0) lowest = std::min(lowest, gs.shield);
    }
    std::printf("cave %02d: %ld frames, score %.0f, lowest shield %.1f\n", k, frames, std::floor(gs.score), lowest);
    EXPECT_TRUE(gs.playing == 0 && gs.scrollX + gs.shipX > gs.mapWidth) << "ended at x " << gs.scrollX + gs.shipX;
    EXPECT_GE(lowest, 0.0f);
    EXPECT_GE(gs.score, 1.0f);
    EXPECT_EQ(gs.maps[k].scoreName, "Autopilot");
    EXPECT_TRUE(FileExists(dir + "/Replays/Map" + (k < 10 ? "0" : "") + std::to_string(k) + ".replay"));
    ResetGameState();
}

INSTANTIATE_TEST_SUITE_P(ShippedCaves, CaveFlight, testing::Range(1, kKnownMaps + 1),
                         [](const testing::TestParamInfo<int>& info) { return "Cave" + std::to_string(info.param); });

}  // namespace
