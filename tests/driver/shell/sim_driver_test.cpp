// quillrun-sim as a process: its virtual clock, and the one line and exit
// status 2 for a bad script.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

using testsupport::RunSim;
using testsupport::SimResult;

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

}  // namespace
