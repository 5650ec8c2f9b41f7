#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "shell/game_state.h"
#include "shell/keyboard.h"
#include "test_support.h"

namespace {

// The fields the key handlers may change.
auto KeyFields() {
    return std::make_tuple(gs.thrustUpHeld, gs.thrustDownHeld, gs.brakeHeld, gs.turboHeld, gs.started,
                           gs.slowMotion, gs.replaySeeking, gs.frameIndex, gs.replayMode, gs.playing, gs.paused,
                           gs.helpShown, gs.debugDraw, gs.selectedMap);
}

enum class Screen { kSelection, kHelp, kReplay, kRun, kPausedRun, kRunWithReplayQueued };

const Screen kAllScreens[] = {Screen::kSelection, Screen::kHelp,      Screen::kReplay,
                              Screen::kRun,       Screen::kPausedRun, Screen::kRunWithReplayQueued};

const char* Name(Screen s) {
    switch (s) {
        case Screen::kSelection: return "selection";
        case Screen::kHelp: return "help";
        case Screen::kReplay: return "replay";
        case Screen::kRun: return "run";
        case Screen::kPausedRun: return "paused run";
        case Screen::kRunWithReplayQueued: return "run with replay queued";
    }
    return "";
}

bool InRun(Screen s) { return s == Screen::kRun || s == Screen::kPausedRun || s == Screen::kRunWithReplayQueued; }

class Keyboard : public ::testing::Test {
protected:
    void SetUp() override {
        ResetGameState();
        HeadlessReset();
        dir = testsupport::MakeGameDir("");
        SetProgramFolder(dir);
        testsupport::WriteCorridorBmp(dir + "/Maps/cave.bmp", 700, 60, 140);
        for (int k : {1, 2, 3, 4, 6}) {
            gs.maps[k].file = "cave.bmp";
            gs.maps[k].width = 700;
        }
    }
    void TearDown() override { testsupport::RemoveTree(dir); }

    void Enter(Screen s) {
        gs.playing = InRun(s) ? kTrue : kFalse;
        gs.paused = s == Screen::kPausedRun ? kTrue : kFalse;
        gs.replayMode = (s == Screen::kReplay || s == Screen::kRunWithReplayQueued) ? kTrue : kFalse;
        gs.helpShown = s == Screen::kHelp ? kTrue : kFalse;
        gs.selectedMap = 2;
        gs.frameIndex = 100;
        gs.started = gs.thrustUpHeld = gs.thrustDownHeld = gs.turboHeld = gs.brakeHeld = kFalse;
        gs.slowMotion = gs.replaySeeking = kFalse;
    }
    std::string dir;
};

TEST_F(Keyboard, ThrustKeysActInEveryState) {
    for (Screen s : kAllScreens) {
        SCOPED_TRACE(Name(s));
        for (int16_t key : {VK_UP, VK_SPACE}) {
            Enter(s);
            gs.started = kFalse;
            OnKeyDown(key);
            EXPECT_EQ(gs.started, kTrue);
            EXPECT_EQ(gs.thrustUpHeld, kTrue);
            EXPECT_EQ(gs.slowMotion, kFalse);
            OnKeyUp(key);
            EXPECT_EQ(gs.thrustUpHeld, kFalse);
            EXPECT_EQ(gs.started, kTrue);
        }
        Enter(s);
        gs.started = kFalse;
        OnKeyDown(VK_DOWN);
        EXPECT_EQ(gs.thrustDownHeld, kTrue);
        EXPECT_EQ(gs.slowMotion, kTrue);
        EXPECT_EQ(gs.started, kTrue);
        EXPECT_EQ(gs.thrustUpHeld, kFalse);
        OnKeyUp(VK_DOWN);
        EXPECT_EQ(gs.thrustDownHeld, kFalse);
        EXPECT_EQ(gs.slowMotion, kFalse);
    }
}

TEST_F(Keyboard, TurboAndBrakeInARunSeekInAReplayNothingElsewhere) {
    for (Screen s : kAllScreens) {
        SCOPED_TRACE(Name(s));
        for (int16_t key : {VK_RIGHT, VK_SHIFT, VK_LEFT, VK_CONTROL}) {
            SCOPED_TRACE(key);
            const bool forward = key == VK_RIGHT || key == VK_SHIFT;
            Enter(s);
            auto before = KeyFields();
            OnKeyDown(key);
            if (InRun(s)) {
                EXPECT_EQ(forward ? gs.turboHeld : gs.brakeHeld, kTrue);
                EXPECT_EQ(forward ? gs.brakeHeld : gs.turboHeld, kFalse);
                EXPECT_EQ(gs.started, kTrue);
                EXPECT_EQ(gs.replaySeeking, kFalse);
                EXPECT_EQ(gs.frameIndex, 100);
            } else if (s == Screen::kReplay) {
                EXPECT_EQ(gs.replaySeeking, kTrue);
                EXPECT_EQ(gs.frameIndex, forward ? 118 : 64);
                EXPECT_EQ(gs.turboHeld | gs.brakeHeld | gs.started, 0);
            } else {
                EXPECT_EQ(KeyFields(), before);
            }
            OnKeyUp(key);
            EXPECT_EQ(gs.turboHeld | gs.brakeHeld | gs.replaySeeking, 0);
        }
    }
}

TEST_F(Keyboard, HeldSeekKeysRepeatAndNeverGoBelowZero) {
    Enter(Screen::kReplay);
    gs.frameIndex = 0;
    for (int i = 0; i < 5; ++i) OnKeyDown(VK_RIGHT);  // automatic repeats
    EXPECT_EQ(gs.frameIndex, 90);
    OnKeyDown(VK_LEFT);
    OnKeyDown(VK_CONTROL);
    EXPECT_EQ(gs.frameIndex, 18);
    OnKeyDown(VK_LEFT);
    EXPECT_EQ(gs.frameIndex, 0);
    OnKeyDown(VK_LEFT);
    EXPECT_EQ(gs.frameIndex, 0);
    // The other seek key's release ends seeking too.
    OnKeyDown(VK_SHIFT);
    OnKeyUp(VK_CONTROL);
    EXPECT_EQ(gs.replaySeeking, kFalse);
}

TEST_F(Keyboard, ReplayAndDebugKeysActInEveryState) {
    for (Screen s : kAllScreens) {
        SCOPED_TRACE(Name(s));
        Enter(s);
        gs.replayMode = kFalse;
        OnKeyDown('R');
        EXPECT_EQ(gs.replayMode, kFalse);  // on release, not on press
        OnKeyUp('R');
        EXPECT_EQ(gs.replayMode, kTrue);
        Enter(s);
        gs.debugDraw = kFalse;
        OnKeyUp('D');
        EXPECT_EQ(gs.debugDraw, kTrue);
        OnKeyUp('D');
        EXPECT_EQ(gs.debugDraw, kFalse);
        OnKeyDown('D');
        EXPECT_EQ(gs.debugDraw, kFalse);
        gs.debugDraw = 1;  // a toggle gives 0 only from -1
        OnKeyUp('D');
        EXPECT_EQ(gs.debugDraw, kTrue);
    }
}

TEST_F(Keyboard, EscapeLeavesARunOrAReplayAndEndsTheProgramElsewhere) {
    Enter(Screen::kPausedRun);
    OnKeyUp(VK_ESCAPE);
    EXPECT_EQ(gs.playing, kFalse);
    EXPECT_EQ(gs.paused, kFalse);
    Enter(Screen::kRunWithReplayQueued);
    OnKeyUp(VK_ESCAPE);
    EXPECT_EQ(gs.playing, kFalse);
    EXPECT_EQ(gs.replayMode, kTrue);  // the queued replay starts next
    OnKeyUp(VK_ESCAPE);
    EXPECT_EQ(gs.replayMode, kFalse);
    for (Screen s : {Screen::kSelection, Screen::kHelp}) {
        SCOPED_TRACE(Name(s));
        Enter(s);
        OnKeyDown(VK_ESCAPE);  // nothing happens on the press
        try {
            OnKeyUp(VK_ESCAPE);
            ADD_FAILURE() << "the program did not end";
        } catch (const ProgramEnded& ended) {
            EXPECT_EQ(ended.status, 0);
        }
    }
}

TEST_F(Keyboard, PauseOnlyInARunHelpOnlyOutsideRunAndReplay) {
    for (Screen s : kAllScreens) {
        SCOPED_TRACE(Name(s));
        Enter(s);
        const Flag pausedBefore = gs.paused;
        OnKeyDown('P');
        EXPECT_EQ(gs.paused, pausedBefore);
        OnKeyUp('P');
        EXPECT_EQ(gs.paused, InRun(s) ? (pausedBefore ? kFalse : kTrue) : kFalse);
        for (int16_t key : {int16_t('H'), VK_F1}) {
            Enter(s);
            const bool toggles = !InRun(s) && s != Screen::kReplay;
            const Flag helpBefore = gs.helpShown;
            OnKeyUp(key);
            EXPECT_EQ(gs.helpShown, toggles ? (helpBefore ? kFalse : kTrue) : helpBefore);
        }
    }
}

TEST_F(Keyboard, DigitsSelectOnlyMapsBeforeTheFirstGap) {
    // Entries 1..4 and 6 have pictures; entry 5 has none.
    for (Screen s : {Screen::kSelection, Screen::kHelp, Screen::kReplay}) {
        SCOPED_TRACE(Name(s));
        Enter(s);
        OnKeyDown('4');
        EXPECT_EQ(gs.selectedMap, 4);
        OnKeyDown('6');
        OnKeyDown('5');
        OnKeyDown('9');
        OnKeyDown('0');
        EXPECT_EQ(gs.selectedMap, 4);
        OnKeyDown('1');
        EXPECT_EQ(gs.selectedMap, 1);
        for (int16_t keypad = 96; keypad <= 105; ++keypad) OnKeyDown(keypad);
        EXPECT_EQ(gs.selectedMap, 1);
        OnKeyUp('3');
        EXPECT_EQ(gs.selectedMap, 1);
    }
    Enter(Screen::kRun);
    OnKeyDown('3');
    EXPECT_EQ(gs.selectedMap, 2);
    // All nine digits when nine maps are listed.
    for (int k = 1; k <= 9; ++k) gs.maps[k].file = "cave.bmp";
    Enter(Screen::kSelection);
    for (int k = 9; k >= 1; --k) {
        OnKeyDown(static_cast<int16_t>('0' + k));
        EXPECT_EQ(gs.selectedMap, k);
    }
}

TEST_F(Keyboard, EnterStartsARunFromEveryState) {
    for (Screen s : kAllScreens) {
        SCOPED_TRACE(Name(s));
        Enter(s);
        gs.selectedMap = 3;
        gs.started = kTrue;
        gs.turboHeld = kTrue;
        gs.shipX = 200;
        OnKeyDown(VK_RETURN);
        EXPECT_EQ(gs.playing, kTrue);
        EXPECT_EQ(gs.replayMode, kFalse);
        EXPECT_EQ(gs.paused, kFalse);
        EXPECT_EQ(gs.helpShown, kFalse);
        EXPECT_EQ(gs.started, kFalse);  // the run waits for a steering key
        EXPECT_EQ(gs.turboHeld, kFalse);
        EXPECT_EQ(gs.runMap, 3);
        EXPECT_EQ(gs.mapWidth, 700);
        EXPECT_EQ(gs.shipX, 30);
        EXPECT_EQ(gs.frameIndex, 0);
        OnKeyUp(VK_RETURN);
        EXPECT_EQ(gs.playing, kTrue);
    }
    EXPECT_TRUE(HeadlessMessages().empty());
}

TEST_F(Keyboard, EnterOnAMissingPictureStaysOnTheSelection) {
    gs.maps[2].file = "missing.bmp";
    Enter(Screen::kReplay);
    OnKeyDown(VK_RETURN);
    EXPECT_EQ(gs.playing, kFalse);
    EXPECT_EQ(gs.replayMode, kFalse);
    ASSERT_EQ(HeadlessMessages().size(), 1u);
    EXPECT_EQ(HeadlessMessages()[0], "Error: No Map/Picture File!!!");
    // Digit keys still work after the failed start.
    OnKeyDown('4');
    EXPECT_EQ(gs.selectedMap, 4);
}

TEST_F(Keyboard, OtherKeysDoNothing) {
    std::vector<int16_t> handled = {VK_SHIFT, VK_CONTROL, VK_RETURN, VK_ESCAPE, VK_SPACE, VK_LEFT, VK_UP,
                                    VK_RIGHT, VK_DOWN,    VK_F1,     'R',       'D',      'P',   'H',
                                    'U'};
    for (int16_t k = '1'; k <= '9'; ++k) handled.push_back(k);
    for (Screen s : kAllScreens) {
        SCOPED_TRACE(Name(s));
        Enter(s);
        auto before = KeyFields();
        for (int code = 0; code < 256; ++code) {
            bool isHandled = false;
            for (int16_t h : handled) isHandled = isHandled || h == code;
            if (isHandled) continue;
            OnKeyDown(static_cast<int16_t>(code));
            OnKeyUp(static_cast<int16_t>(code));
        }
        EXPECT_EQ(KeyFields(), before);
    }
}

}  // namespace
