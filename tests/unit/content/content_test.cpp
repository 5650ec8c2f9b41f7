// The shipped content as built into the program folder: the caves, the ship,
// the generator, and an autopilot that flies every cave to its end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "autopilot.h"
#include "base/game_paths.h"
#include "base/game_state.h"
#include "flight/ship_motion.h"
#include "gfx/picture_store.h"
#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "maps/map_catalogue.h"
#include "maps/settings_file.h"
#include "online/score_upload.h"
#include "headless/headless.h"
#include "shell/keyboard.h"
#include "shell/main_loop.h"
#include "shell/run_start.h"
#include "test_support.h"

#ifndef QUILLRUN_CONTENT_TOOL
#define QUILLRUN_CONTENT_TOOL QUILLRUN_GAME_DIR "/../tools/quillrun-make-content"
#endif

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

const std::string kGame = QUILLRUN_GAME_DIR;
constexpr int kCaves = 26;
int Generate(const std::string& dir) { return RunCommand(std::string("'") + QUILLRUN_CONTENT_TOOL + "' '" + dir + "' 2>&1"); }

// The byte size of each shipped map file that the score upload accepts.
const char* const kKnownSizes[kCaves + 1] = {
    "",        "6000056", "6000056", "6000056", "6000056", "4800056", "1200056", "1200056", "1800056",
    "2400056", "2400056", "1274456", "4200054", "4200054", "3032054", "4200054", "700068",  "700076",
    "700080",  "2000312", "1320054", "3180054", "1000084", "1000076", "6000054", "2001080", "12000054"};

void LoadCatalogue(const std::string& dir) {
    ResetGameState();
    HeadlessReset();
    SetGameFolders({dir, dir});
    gs.mapsIniPath = dir + "/Maps/Maps.ini";
    LoadMapCatalogue();
}
std::string CavePath(int k) { return kGame + "/Maps/" + gs.maps[k].file; }

TEST(ShippedContent, CaveFilesHaveTheSizesTheUploadAccepts) {
    LoadCatalogue(kGame);
    for (int k = 1; k <= kCaves; ++k) EXPECT_EQ(FileSizeText(CavePath(k)), kKnownSizes[k]) << gs.maps[k].file;
    EXPECT_TRUE(gs.maps[kCaves + 1].file.empty());
}

// The game's decoder and ImageMagick see the same picture: open space is
// exactly 0 and no rock pixel comes near it, so every rock pixel is rock.
TEST(ShippedContent, OpenSpaceIsZeroAndRockIsNot) {
    LoadCatalogue(kGame);
    const std::string out = MakeTempDir("quillrun-content") + "/cave.rgb";
    for (int k = 1; k <= kCaves; ++k) {
        SCOPED_TRACE(gs.maps[k].file);
        Surface* s = DecodePictureFile(CavePath(k));
        ASSERT_TRUE(s != nullptr && s->height == 200);
        ASSERT_EQ(RunCommand("/usr/bin/convert '" + CavePath(k) + "' -depth 8 rgb:'" + out + "' 2>&1"), 0);
        const std::string rgb = ReadFile(out);
        const size_t n = static_cast<size_t>(s->width) * 200;
        ASSERT_EQ(rgb.size(), n * 3);
        long differ = 0, nearBlack = 0, open = 0;
        for (size_t i = 0; i < n; ++i) {
            const uint8_t r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
            differ += s->pixels[i] != (r | g << 8 | static_cast<uint32_t>(b) << 16);
            open += s->pixels[i] == 0;
            nearBlack += s->pixels[i] != 0 && std::max({r, g, b}) < 8;
        }
        DestroySurface(s);
        EXPECT_EQ(differ, 0);
        EXPECT_EQ(nearBlack, 0);
        EXPECT_TRUE(open > 0 && open < static_cast<long>(n)) << open;
    }
    RemoveTree(fs::path(out).parent_path());
}

// Drawn as the flight draws it (mask with AND, then the image with OR), the
// ship changes nothing outside its outline, over black and over rock, and
// shows exactly its own pixels inside it.
TEST(ShippedContent, ShipMaskIsPure) {
    Surface* ship = DecodePictureFile(kGame + "/Pictures/Ship.jpg");
    ASSERT_NE(ship, nullptr);
    ASSERT_TRUE(ship->width == 18 && ship->height == 18);
    LoadCatalogue(kGame);
    Surface* rock = DecodePictureFile(CavePath(13));  // rock in its top left corner
    ASSERT_TRUE(rock != nullptr);
    auto inShip = [&](int x, int y) { return (GetPixel(ship, x, y + 9) & 0x808080u) == 0; };
    EXPECT_TRUE(inShip(6, 0) && inShip(6, 8)) << "the collision probes sit on the ship's top and bottom rows";
    for (bool overRock : {false, true}) {
        Surface* field = CreateSurface(18, 9);
        if (overRock) BitBlt(field, 0, 0, 18, 9, rock, 0, 0, SRCCOPY);
        BitBlt(field, 0, 0, 18, 9, ship, 0, 9, SRCAND);
        BitBlt(field, 0, 0, 18, 9, ship, 0, 0, SRCPAINT);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 18; ++x)
                EXPECT_EQ(GetPixel(field, x, y), inShip(x, y) ? GetPixel(ship, x, y) : overRock ? GetPixel(rock, x, y) : 0u)
                    << "x " << x << " y " << y << (overRock ? " over rock" : " over black");
        DestroySurface(field);
    }
    DestroySurface(rock);
    DestroySurface(ship);
}

// Two generations give the same bytes, as the build's folder holds them; a
// fresh catalogue has no records and CR LF lines; regenerating over a folder
// keeps its records and online settings.
TEST(Generator, SameBytesEveryTimeAndRegeneratingKeepsTheRecords) {
    const std::string a = MakeTempDir("quillrun-gen-a"), b = MakeTempDir("quillrun-gen-b"), ini = a + "/Maps/Maps.ini";
    ASSERT_TRUE(Generate(a) == 0 && Generate(b) == 0);
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(a)) {
        if (!entry.is_regular_file()) continue;
        const std::string rel = fs::relative(entry.path(), a).string(), bytes = ReadFile(entry.path());
        ++files;
        EXPECT_TRUE(bytes == ReadFile(b + "/" + rel)) << rel;
        EXPECT_TRUE(rel == "Maps/Maps.ini" || bytes == ReadFile(kGame + "/" + rel)) << rel;
    }
    EXPECT_EQ(files, 26 + 1 + 4);
    const std::string text = ReadFile(ini);
    EXPECT_EQ(text.find("Score"), std::string::npos);
    for (size_t i = 0; i < text.size(); ++i) ASSERT_TRUE(text[i] != '\n' || (i > 0 && text[i - 1] == '\r')) << i;

    WriteIniValue("03", "ScoreBest", MaskText(" 725", kScoreMask), ini);
    WriteIniValue("03", "ScoreName", MaskText("Pilot", kScoreMask), ini);
    WriteIniValue("Online", "Server", "127.0.0.1:9999", ini);
    ASSERT_EQ(Generate(a), 0);
    EXPECT_EQ(MaskText(ReadIniValue("03", "ScoreBest", ini), kScoreMask), " 725");
    EXPECT_EQ(MaskText(ReadIniValue("03", "ScoreName", ini), kScoreMask), "Pilot");
    EXPECT_EQ(ReadIniValue("Online", "Server", ini), "127.0.0.1:9999");
    EXPECT_EQ(ReadIniValue("04", "ScoreBest", ini), "");
    EXPECT_EQ(ReadIniValue("03", "File", ini), "Cave03.bmp");
    RemoveTree(a);
    RemoveTree(b);
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
        for (int k = 1; k <= kCaves; ++k) {
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

INSTANTIATE_TEST_SUITE_P(ShippedCaves, CaveFlight, testing::Range(1, kCaves + 1),
                         [](const testing::TestParamInfo<int>& info) { return "Cave" + std::to_string(info.param); });

}  // namespace
