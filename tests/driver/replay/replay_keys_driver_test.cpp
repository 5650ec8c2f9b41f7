// A record run through quillrun-sim keeps its frame lines as the game wrote
// them before keys were kept, and after them a key section of one step more
// than its frames. That the section holds the right keys, trail pixels and
// waiting frames is proven by flying it again (tests/proof, tests/model).
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "replay/key_section.h"
#include "test_support.h"

TEST(ReplayKeys, FrameLinesAsBeforeThenAStepPerFrameAndTheLast) {
    const std::string dir = testsupport::MakeGameDir("[01]\nFile=One.bmp\nWidth=700\n");
    testsupport::WriteCorridorBmp(dir + "/Maps/One.bmp", 800, 40, 160);  // open past the end: no hit
    // DOWN with UP and without, brake and turbo apart and together, and UP
    // every 8 dispatches for level flight.
    std::string script = "1 tap ENTER\ndialog Ada\n9 down DOWN\n10 up DOWN\n20 down DOWN\n22 up DOWN\n40 down LEFT\n"
                         "70 up LEFT\n150 down LEFT\n156 up LEFT\n100 down RIGHT\n130 up RIGHT\n152 down RIGHT\n"
                         "160 up RIGHT\n";
    for (size_t d = 3; d < 180; d += 8) script += std::to_string(d) + " down UP\n" + std::to_string(d + 4) + " up UP\n";
    const testsupport::SimResult r = testsupport::RunSim(dir, script, {"--until", "200"});
    const std::string replay = testsupport::ReadFile(dir + "/Replays/Map01.replay");
    std::vector<uint8_t> steps;
    // The step that ended the run is counted in the trace, its frame is not written.
    ASSERT_EQ(ReadKeySection(replay, steps) == KeySection::kWhole ? steps.size() : 0, size_t(r.trace.back().frameIndex));
    uint64_t hash = 14695981039346656037ull;  // FNV-1a of the frame lines, as written before keys were kept
    for (unsigned char c : replay.substr(0, replay.find("Keys="))) hash = (hash ^ c) * 1099511628211ull;
    EXPECT_EQ(hash, 0x63e0b0c5a08bb2e4ull);
    testsupport::RemoveTree(dir);
}
