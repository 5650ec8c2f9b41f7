// A run longer than the recording: it flies on unrecorded, and its replay
// file holds the 30000 recorded frames.
#include <gtest/gtest.h>

#include <string>

#include "base/atomic_file.h"
#include "base/game_paths.h"
#include "base/game_state.h"
#include "gfx/surface.h"
#include "headless/headless.h"
#include "replay/replay_file.h"
#include "shell/main_loop.h"
#include "shell/run_start.h"
#include "test_support.h"

namespace {
// The run in gs.recording written whole as the map's replay file.
void SaveReplayFile(int16_t map) {
    std::string text;
    ReplayText(text);
    MakeReplayFolder();
    ReplaceFileAtomically(ReplayPath(map), text);
}
}  // namespace

namespace {

// A run on a cave of `width` x 200, open between rows `top` and `bottom`
// inclusive. The catalogue stays empty, so the run keeps this surface, the
// width and the speed given here.
std::string StartCorridor(int width, int top, int bottom, int mapWidth = 0) {
    ResetGameState();
    HeadlessReset();
    std::string dir = testsupport::MakeTempDir("quillrun-flight");
    SetGameFolders({dir, dir});
    gs.mapSurface = CreateSurface(width, 200);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < width; ++x) SetPixel(gs.mapSurface, x, y, y >= top && y <= bottom ? 0 : 0x808080);
    gs.mapWidth = static_cast<int16_t>(mapWidth > 0 ? mapWidth : width);
    gs.scrollSpeed = 2.2f;
    StartRun();
    gs.playing = kTrue;
    return dir;
}

TEST(Recording, ARunBeyond30000FramesGoesOnUnrecorded) {
    std::string dir = StartCorridor(16000, 0, 199, 32767);
    gs.scrollSpeed = 0.5f;  // slow enough to stay inside the picture
    gs.started = kTrue;
    for (int n = 0; n < kMaxFrames + 10; ++n) {
        // Hover around row 100 without touching rock.
        gs.thrustUpHeld = (gs.shipY > 100 && gs.velocityY > -0.3f) ? kTrue : kFalse;
        FlyFrame();
        ASSERT_NE(gs.playing, 0) << n;
        ASSERT_EQ(gs.colliding, 0) << n;
    }
    EXPECT_EQ(gs.frameIndex, kMaxFrames);
    EXPECT_NE(gs.recording[kMaxFrames].shipX, 0);
    EXPECT_GT(gs.scrollX, gs.recording[kMaxFrames].mapX + 4);  // it flew on

    // The file ends with the 30000th frame; the playback reader fills every
    // entry and finds no "LastFrame=" after them.
    SaveReplayFile(9);
    const std::string text = testsupport::ReadFile(dir + "/Replays/Map09.replay");
    size_t pxLines = 0;
    for (size_t at = text.find("pX"); at != std::string::npos; at = text.find("pX", at + 1)) ++pxLines;
    EXPECT_EQ(pxLines, static_cast<size_t>(kMaxFrames));
    EXPECT_TRUE(text.ends_with("--END--\r\nLastFrame=" + std::to_string(int(gs.recording[kMaxFrames].shipX)) + "\r\n"));
    EXPECT_EQ(LoadReplayEntries(9), 0);
}

}  // namespace
