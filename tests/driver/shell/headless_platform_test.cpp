// The headless platform that quillrun-sim runs on, called in-process: the
// virtual clock, the dialog queues, the message record and the dispatch hook.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "gfx/play_field.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "shell/game_state.h"
#include "shell/keyboard.h"
#include "shell/main_loop.h"
#include "test_support.h"

namespace {

class HeadlessPlatform : public ::testing::Test {
protected:
    void SetUp() override {
        ResetGameState();
        HeadlessReset();
    }
    void TearDown() override { HeadlessReset(); }
};

TEST_F(HeadlessPlatform, ClockMovesOnlyWhenTheGameWaits) {
    EXPECT_EQ(PlatformTickCount(), 1000000);
    EXPECT_EQ(PlatformTickCount(), 1000000);
    // A deadline ahead, or equal to the reading, is passed by one.
    EXPECT_EQ(PlatformWaitTickAfter(1000014), 1000015);
    EXPECT_EQ(PlatformWaitTickAfter(1000015), 1000016);
    // A deadline already passed costs nothing.
    EXPECT_EQ(PlatformWaitTickAfter(1000010), 1000016);
    PlatformSleep(1300);
    EXPECT_EQ(HeadlessClock(), 1001316);

    // Across the wrap of the signed 32-bit counter.
    HeadlessSetClock(INT32_MAX - 5);
    EXPECT_EQ(PlatformWaitTickAfter(INT32_MAX), INT32_MIN);
    HeadlessSetClock(INT32_MAX - 5);
    PlatformSleep(10);
    EXPECT_EQ(PlatformTickCount(), INT32_MIN + 4);
    EXPECT_EQ(PlatformWaitTickAfter(INT32_MIN + 9), INT32_MIN + 10);

    HeadlessReset();
    EXPECT_EQ(HeadlessClock(), 1000000);
    EXPECT_EQ(HeadlessDispatchCount(), 0);
}

TEST_F(HeadlessPlatform, DialogsTakeQueuedAnswersInOrderAndAreRecorded) {
    // Nothing queued: cancelled, and No.
    EXPECT_EQ(PlatformInputBox("Your name?", "Record", "Anon"), "");
    EXPECT_FALSE(PlatformAskYesNo("Sure?", "Quillrun"));

    HeadlessQueueDialogAnswer("Zo\xC3\xAB");
    HeadlessQueueDialogCancel();
    HeadlessQueueDialogAnswer("");
    HeadlessQueueDialogAnswer("Bo");
    HeadlessQueueConfirm(true);
    HeadlessQueueConfirm(false);
    EXPECT_EQ(PlatformInputBox("Name?", "Record", "x"), "Zo\xC3\xAB");
    EXPECT_EQ(PlatformInputBox("Name?", "Record", "x"), "");
    EXPECT_EQ(PlatformInputBox("Name?", "Record", "x"), "");
    // The two queues are separate.
    EXPECT_TRUE(PlatformAskYesNo("Upload?", "Quillrun"));
    EXPECT_EQ(PlatformInputBox("Name?", "Record", "x"), "Bo");
    EXPECT_FALSE(PlatformAskYesNo("Upload?", "Quillrun"));
    EXPECT_FALSE(PlatformAskYesNo("Upload?", "Quillrun"));

    const std::vector<std::string>& m = HeadlessMessages();
    ASSERT_EQ(m.size(), 9u);
    EXPECT_EQ(m[0], "Record: Your name?");
    EXPECT_EQ(m[1], "Quillrun: Sure?");
    EXPECT_EQ(m[5], "Quillrun: Upload?");
}

TEST_F(HeadlessPlatform, MessagesAreOneLineOfUtf8) {
    PlatformMessageBox("No replay file.\r\nSet a record first!", "Quillrun");
    PlatformMessageBox("a\nb\rc", "Quillrun");
    PlatformMessageBox("Caf\xE9 \x80" "5", "Caf\xE9");
    const std::vector<std::string>& m = HeadlessMessages();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0], "Quillrun: No replay file.\\nSet a record first!");
    EXPECT_EQ(m[1], "Quillrun: a\\nb\\nc");
    EXPECT_EQ(m[2], "Caf\xC3\xA9: Caf\xC3\xA9 \xE2\x82\xAC" "5");
}

TEST_F(HeadlessPlatform, MessagesAreEchoedWhenAsked) {
    std::string dir = testsupport::MakeTempDir();
    std::string path = dir + "/echo.txt";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    PlatformMessageBox("silent", "Quillrun");
    HeadlessSetMessageEcho(f);
    PlatformMessageBox("No Map/Picture File!!!", "Error");
    PlatformInputBox("Who?", "Record", "");
    HeadlessSetMessageEcho(nullptr);
    std::fclose(f);
    EXPECT_EQ(testsupport::ReadFile(path), "message: Error: No Map/Picture File!!!\nmessage: Record: Who?\n");
    EXPECT_EQ(HeadlessMessages().size(), 3u);
    testsupport::RemoveTree(dir);
}

TEST_F(HeadlessPlatform, TheFrameLoopRunsUnderTheHookOnTheVirtualClock) {
    std::string dir = testsupport::MakeGameDir("");
    SetProgramFolder(dir);
    std::string error;
    ASSERT_TRUE(InitPlayField(&error)) << error;

    std::vector<int32_t> clock;
    std::vector<long> numbers;
    HeadlessSetDispatchHook([&](long n) {
        numbers.push_back(n);
        clock.push_back(HeadlessClock());
        if (n == 3) OnKeyDown('P');  // harmless outside a run
        if (n == 6) PlatformEndProgram(7);
    });
    int status = -1;
    try {
        OnLoad();
    } catch (const ProgramEnded& e) {
        status = e.status;
    }
    EXPECT_EQ(status, 7);
    EXPECT_EQ(HeadlessDispatchCount(), 6);
    EXPECT_EQ(numbers, (std::vector<long>{1, 2, 3, 4, 5, 6}));
    // 14 ms after the first, even reading, then 15 + 1 past each odd one.
    EXPECT_EQ(clock, (std::vector<int32_t>{1000000, 1000015, 1000031, 1000047, 1000063, 1000079}));

    // Without a hook the first dispatch ends the program.
    HeadlessReset();
    ResetGameState();
    status = -1;
    try {
        OnLoad();
    } catch (const ProgramEnded& e) {
        status = e.status;
    }
    EXPECT_EQ(status, 0);
    EXPECT_EQ(HeadlessDispatchCount(), 1);
    testsupport::RemoveTree(dir);
}

}  // namespace
