// The key tables: every handled key on every screen, with exactly the fields
// it must change; all other fields stay as they were.
#include "shell/keyboard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/game_paths.h"
#include "base/game_state.h"
#include "headless/headless.h"
#include "platform/platform.h"
#include "shell/run_start.h"
#include "test_support.h"

namespace {

enum Screen { kSelection = 1, kHelp = 2, kReplay = 4, kRun = 8, kPausedRun = 16, kRunWithReplayQueued = 32 };
constexpr int kAll = 63, kRuns = kRun | kPausedRun | kRunWithReplayQueued, kMenus = kSelection | kHelp;

using Field = int16_t GameState::*;
#define F(name) &GameState::name
const Field kFields[] = {F(thrustUpHeld),  F(thrustDownHeld), F(brakeHeld),  F(turboHeld), F(started), F(slowMotion),
                         F(replaySeeking), F(frameIndex),     F(replayMode), F(playing),   F(paused),  F(helpShown),
                         F(debugDraw),     F(selectedMap),    F(runMap),     F(mapWidth)};

struct Change { Field field; int16_t value; };

// Each key of a row on its own, as `events` ('d' down, 'u' up), on each of
// the row's screens, gives the same outcome.
struct Row { int screens; std::vector<int16_t> keys; const char* events; std::vector<Change> after; };

// clang-format off
const std::vector<Row> kTable = {
    {kAll, {VK_UP, VK_SPACE}, "d", {{F(thrustUpHeld), kTrue}, {F(started), kTrue}}},
    {kAll, {VK_UP, VK_SPACE, VK_DOWN}, "du", {{F(started), kTrue}}},
    {kAll, {VK_DOWN}, "d", {{F(thrustDownHeld), kTrue}, {F(slowMotion), kTrue}, {F(started), kTrue}}},
    {kRuns, {VK_RIGHT, VK_SHIFT}, "d", {{F(turboHeld), kTrue}, {F(started), kTrue}}},
    {kRuns, {VK_LEFT, VK_CONTROL}, "d", {{F(brakeHeld), kTrue}, {F(started), kTrue}}},
    {kRuns, {VK_RIGHT, VK_SHIFT, VK_LEFT, VK_CONTROL}, "du", {{F(started), kTrue}}},
    {kReplay, {VK_RIGHT, VK_SHIFT}, "d", {{F(replaySeeking), kTrue}, {F(frameIndex), 118}}},
    {kReplay, {VK_LEFT, VK_CONTROL}, "d", {{F(replaySeeking), kTrue}, {F(frameIndex), 64}}},
    {kReplay, {VK_RIGHT, VK_SHIFT}, "du", {{F(frameIndex), 118}}},
    {kMenus, {VK_RIGHT, VK_SHIFT, VK_LEFT, VK_CONTROL}, "du", {}},
    {kAll, {'R', 'P', VK_ESCAPE}, "d", {}},  // these act on release
    {kMenus | kRun | kPausedRun, {'R'}, "u", {{F(replayMode), kTrue}}},
    {kAll, {'D'}, "u", {{F(debugDraw), kTrue}}},
    {kAll, {'D'}, "duu", {}},
    {kRun | kRunWithReplayQueued, {'P'}, "u", {{F(paused), kTrue}}},
    {kPausedRun, {'P'}, "u", {{F(paused), kFalse}}},
    {kMenus | kReplay, {'P'}, "u", {}},
    {kSelection, {'H', VK_F1}, "u", {{F(helpShown), kTrue}}},
    {kHelp, {'H', VK_F1}, "u", {{F(helpShown), kFalse}}},
    {kReplay | kRuns, {'H', VK_F1}, "u", {}},
    {kRun | kPausedRun, {VK_ESCAPE}, "u", {{F(playing), kFalse}, {F(paused), kFalse}}},
    {kRunWithReplayQueued, {VK_ESCAPE}, "u", {{F(playing), kFalse}}},  // the queued replay starts next
    {kReplay, {VK_ESCAPE}, "u", {{F(replayMode), kFalse}}},
    // Maps 1 to 4 and 6 have pictures: digits select only before the gap.
    {kMenus | kReplay, {'4'}, "d", {{F(selectedMap), 4}}},
    {kMenus | kReplay, {'1'}, "d", {{F(selectedMap), 1}}},
    {kMenus | kReplay, {'5', '6', '9', '0', 97 /* keypad 1 */}, "d", {}},
    {kMenus | kReplay, {'3'}, "u", {}},
    {kRuns, {'3'}, "d", {}},
    {kAll, {VK_RETURN}, "du", {{F(playing), kTrue}, {F(replayMode), kFalse}, {F(paused), kFalse},
                               {F(helpShown), kFalse}, {F(frameIndex), 0}, {F(runMap), 2}, {F(mapWidth), 700}}},
};
// clang-format on

class Keyboard : public ::testing::Test {
protected:
    void SetUp() override {
        ResetGameState();
        HeadlessReset();
        dir_ = testsupport::MakeGameDir("");
        SetGameFolders({dir_, dir_});
        testsupport::WriteCorridorBmp(dir_ + "/Maps/cave.bmp", 700, 60, 140);
        for (int k : {1, 2, 3, 4, 6}) gs.maps[k] = MapEntry{"cave.bmp", 700, "", 0, ""};
    }
    void TearDown() override { testsupport::RemoveTree(dir_); }

    static void Enter(int s) {
        for (Field f : kFields) gs.*f = 0;
        gs.playing = (s & kRuns) ? kTrue : kFalse;
        gs.paused = s == kPausedRun ? kTrue : kFalse;
        gs.replayMode = (s & (kReplay | kRunWithReplayQueued)) ? kTrue : kFalse;
        gs.helpShown = s == kHelp ? kTrue : kFalse;
        gs.selectedMap = 2;
        gs.frameIndex = 100;
    }
    static std::vector<int16_t> Snapshot() {
        std::vector<int16_t> v;
        for (Field f : kFields) v.push_back(gs.*f);
        return v;
    }
    std::string dir_;
};

TEST_F(Keyboard, EveryHandledKeyOnEveryScreenChangesExactlyItsFields) {
    for (size_t i = 0; i < kTable.size(); ++i) {
        const Row& row = kTable[i];
        for (int s = 1; s <= 32; s <<= 1) {
            for (int16_t key : row.keys) {
                if (!(row.screens & s)) continue;
                SCOPED_TRACE("row " + std::to_string(i) + " screen " + std::to_string(s) + " key " +
                             std::to_string(key));
                Enter(s);
                std::vector<int16_t> expected = Snapshot();
                for (const Change& c : row.after)
                    for (size_t f = 0; f < std::size(kFields); ++f)
                        if (kFields[f] == c.field) expected[f] = c.value;
                for (const char* e = row.events; *e; ++e) *e == 'd' ? OnKeyDown(key) : OnKeyUp(key);
                EXPECT_EQ(Snapshot(), expected);
            }
        }
    }
    EXPECT_EQ(gs.shipX, 30);  // the last row started a run
    EXPECT_TRUE(HeadlessMessages().empty());
}

}  // namespace
