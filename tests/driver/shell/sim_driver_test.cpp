// quillrun-sim as a process: scripts of key events against its trace, its
// message lines, its exit status and its command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

using testsupport::RunSim;
using testsupport::SimResult;
using testsupport::TraceLine;

namespace {

// Maps 1, 2 and 4 are caves; map 3 has no picture file, so it is a gap. The
// other game lists one map whose picture is missing.
// clang-format off
struct Games {
    std::string caves = testsupport::MakeGameDir(
        "[01]\nFile=a.bmp\nWidth=1500\n[02]\nFile=b.bmp\nWidth=1500\n[03]\nName=Gap\n[04]\nFile=d.bmp\nWidth=1500\n");
    std::string missing = testsupport::MakeGameDir("[01]\nFile=gone.bmp\nWidth=1500\n");
    Games() { for (const char* f : {"a.bmp", "b.bmp", "d.bmp"}) testsupport::WriteCorridorBmp(caves + "/Maps/" + f, 2000, 40, 160); }
    ~Games() { testsupport::RemoveTree(caves); testsupport::RemoveTree(missing); }
};

struct Expect { long dispatch; int TraceLine::*field; int value; };
// clang-format on
constexpr auto kPlaying = &TraceLine::playing, kPaused = &TraceLine::paused, kReplay = &TraceLine::replayMode,
               kMap = &TraceLine::selectedMap, kStarted = &TraceLine::started;

struct Case {
    const char* what;
    bool missingPicture;
    const char* script;
    long until;  // 0: the driver's default
    long last;   // the last dispatch traced
    const char* messages;
    std::vector<Expect> trace;
    std::vector<std::pair<long, bool>> helpShown;  // from a shot of the play field
};

// clang-format off
const Case kCases[] = {
    // Events of a dispatch come after its trace line.
    {"ENTER on a map", false, "3 tap ENTER\n", 6, 6, "", {{3, kPlaying, 0}, {4, kPlaying, -1}, {6, kPlaying, -1}}, {}},
    {"ENTER on a missing picture", true, "2 tap ENTER\n", 5, 5, "message: Error: No Map/Picture File!!!\n",
     {{3, kPlaying, 0}, {5, kPlaying, 0}}, {}},
    {"ESC outside a run ends the program", false, "4 tap ESC\n", 20, 4, "", {}, {}},
    {"a held ESC does nothing", false, "4 down ESC\n", 8, 8, "", {}, {}},
    {"ESC in a paused run", false, "2 tap ENTER\n4 tap P\n6 tap ESC\n", 10, 10, "",
     {{6, kPlaying, -1}, {6, kPaused, -1}, {7, kPlaying, 0}, {7, kPaused, 0}, {10, kPlaying, 0}}, {}},
    {"ESC in a run, then outside", false, "2 tap ENTER\n4 tap ESC\n7 tap ESC\n", 20, 7, "", {}, {}},
    {"digits stop at the gap", false, "2 tap 2\n4 tap 4\n6 tap 3\n8 tap 1\n10 tap 2\n12 tap 9\n13 tap 48\n", 14, 14, "",
     {{2, kMap, 1}, {3, kMap, 2}, {5, kMap, 2}, {7, kMap, 2}, {9, kMap, 1}, {11, kMap, 2}, {14, kMap, 2}}, {}},
    {"digits in a run", false, "2 tap ENTER\n4 tap 2\n", 6, 6, "", {{6, kPlaying, -1}, {6, kMap, 1}}, {}},
    // 13 is ENTER, "p" the letter P, 80 the code of P.
    {"P pauses only a run", false, "2 tap P\n4 tap 13\n6 tap p\n8 tap 80\n10 tap P\n12 tap ENTER\n14 down SPACE\n",
     15, 15, "", {{3, kPaused, 0}, {5, kPaused, 0}, {5, kPlaying, -1}, {7, kPaused, -1}, {9, kPaused, 0},
                  {11, kPaused, -1}, {13, kPaused, 0}, {13, kPlaying, -1}, {15, kStarted, -1}}, {}},
    {"R queued during a run", false, "2 tap ENTER\n4 tap R\n7 tap ESC\n", 10, 10,
     "message: Quillrun: No replay file.\\nSet a record first!\n",
     {{4, kReplay, 0}, {5, kReplay, -1}, {7, kReplay, -1}, {7, kPlaying, -1}, {10, kReplay, 0}, {10, kPlaying, 0}}, {}},
    {"H and F1 outside a run", false, "2 tap H\n4 tap H\n6 tap F1\n8 tap F1\n10 tap ENTER\n12 tap H\n14 tap ESC\n",
     16, 16, "", {}, {{2, false}, {3, true}, {5, false}, {7, true}, {9, false}, {16, false}}},
    {"close", false, "2 tap ENTER\n6 close\n", 50, 6, "", {{6, kPlaying, -1}}, {}},
    {"default end", false, "# comment\n3 tap P\n\n9 up UP\n5 down UP\ndialog Ann\nconfirm yes\n", 0, 10, "", {}, {}},
};
// clang-format on

TEST(SimDriver, ScriptsDriveTheGameAsTheTraceAndMessagesShow) {
    Games games;
    const std::string shots = testsupport::MakeTempDir();
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args;
        if (c.until) args = {"--until", std::to_string(c.until)};
        for (const auto& [n, shown] : c.helpShown)
            args.insert(args.end(), {"--shot", std::to_string(n) + ":" + shots + "/" + std::to_string(n) + ".png"});
        const SimResult r = RunSim(c.missingPicture ? games.missing : games.caves, c.script, args);
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(r.trace.size(), static_cast<size_t>(c.last));
        EXPECT_EQ(r.trace.back().dispatch, c.last);
        EXPECT_EQ(r.out, c.messages);
        for (const Expect& e : c.trace)
            EXPECT_EQ(r.trace.at(e.dispatch - 1).*e.field, e.value) << "dispatch " << e.dispatch;
        for (const auto& [n, shown] : c.helpShown) {  // the test help picture is grey 0x404040 all over
            const testsupport::Shot shot = testsupport::ReadShot(shots + "/" + std::to_string(n) + ".png");
            ASSERT_EQ(shot.width, 600);
            EXPECT_EQ(shot.At(300, 100) == 0x404040, shown) << "dispatch " << n;
        }
    }
    testsupport::RemoveTree(shots);
}

TEST(SimDriver, TheVirtualClockStepsFifteenThenSixteenMilliseconds) {
    Games games;
    // The first frame starts on an even reading (+14 and one past); every
    // later deadline is an odd reading + 15, passed by one.
    for (long n : {1L, 2L, 3L, 10L, 64L, 500L}) {
        const SimResult r = RunSim(games.caves, n > 2 && n < 100 ? "2 tap ENTER\n3 down UP\n" : "",
                                   {"--until", std::to_string(n), "--bench"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("dispatches: " + std::to_string(n) + "\n"), std::string::npos) << r.out;
        const size_t at = r.out.find("virtual time: ");
        ASSERT_NE(at, std::string::npos) << r.out;
        EXPECT_EQ(std::stol(r.out.substr(at + 14)), n == 1 ? 0 : 15 + 16 * (n - 2)) << "until " << n;
    }
}

TEST(SimDriver, ABadScriptLineStopsWithExitTwoAndItsLineNumber) {
    Games games;
    // clang-format off
    const std::pair<const char*, int> cases[] = {
        {"1 tap ENTER\n\n# fine so far\n4 jump UP\n", 4}, {"2 tap WHEEL\n", 1}, {"2 tap\n", 1}, {"2 tap UP DOWN\n", 1},
        {"0 tap UP\n", 1}, {"x tap UP\n", 1}, {"-3 tap UP\n", 1}, {"2\n", 1}, {"2 tap 255\n", 1}, {"2 tap 00\n", 1},
        {"3 close now\n", 1}, {"confirm maybe\n", 1}, {"confirm\n", 1}, {"dialog-cancel please\n", 1},
        {"dialog fine\n2 tap UP\nhello\n", 3}, {"2 tap UP\n2 tap \xE9\n", 2}};
    // clang-format on
    for (const auto& [script, line] : cases) {
        SCOPED_TRACE(script);
        const SimResult r = RunSim(games.caves, script);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;  // one line
        EXPECT_NE(r.err.find("line " + std::to_string(line) + ":"), std::string::npos) << r.err;
        EXPECT_TRUE(r.trace.empty());
    }
}

TEST(SimDriver, ABadCommandLineStopsWithExitTwoAndOneLine) {
    Games games;
    const std::string work = testsupport::MakeTempDir();
    testsupport::WriteFile(work + "/s.txt", "2 tap P\n");
    const std::string game = " --game-dir '" + games.caves + "'", script = " --script '" + work + "/s.txt'";
    const std::string base = game + script;
    // clang-format off
    const std::string cases[] = {
        game, base + " --until 0", base + " --until ten", base + " --until", base + " --seed -1",
        base + " --seed 4294967296", base + " --shot 3", base + " --shot 0:a.png", base + " --shot 3:",
        base + " --speed 2", base + " extra", base + " --until 3 --until 4",
        " --game-dir '" + work + "/nowhere'" + script, game + " --script '" + work + "/missing.txt'",
        base + " --trace '" + work + "/no/such/folder/t.txt'"};
    // clang-format on
    for (const std::string& args : cases) {
        std::string out;
        const int status = testsupport::RunCommand(std::string("'") + QUILLRUN_SIM + "'" + args + " 2>&1", &out);
        EXPECT_EQ(status, 2) << args << "\n" << out;
        EXPECT_EQ(out.find('\n'), out.size() - 1) << args << "\n" << out;
    }
    std::string out;
    EXPECT_EQ(
        testsupport::RunCommand(std::string("'") + QUILLRUN_SIM + "'" + base + " --seed 4294967295 --until 3", &out), 0)
        << out;
    testsupport::RemoveTree(work);
}

}  // namespace
