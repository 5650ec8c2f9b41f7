// A record run through quillrun-sim keeps, after the frame lines of its
// replay, the keys every step found held and whether it drew a trail spark.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "replay/key_section.h"
#include "test_support.h"

TEST(ReplayKeys, EveryStepKeepsTheKeysItFoundHeld) {
    const std::string dir = testsupport::MakeGameDir("[01]\nFile=One.bmp\nWidth=700\n");
    testsupport::WriteCorridorBmp(dir + "/Maps/One.bmp", 800, 40, 160);  // open past the end: no hit
    // Each key held from dispatch `down` to `up`: DOWN with UP and without,
    // brake and turbo apart and together, and UP every 8 for level flight.
    // A name ends its script line.
    struct Hold { const char* key; uint8_t bit; size_t down, up; };
    std::vector<Hold> holds = {
        {"DOWN\n", kStepDown, 9, 10},     {"DOWN\n", kStepDown, 20, 22},     {"LEFT\n", kStepBrake, 40, 70},
        {"LEFT\n", kStepBrake, 150, 156}, {"RIGHT\n", kStepTurbo, 100, 130}, {"RIGHT\n", kStepTurbo, 152, 160}};
    std::string script = "1 tap ENTER\ndialog Ada\n";
    for (size_t d = 3; d < 180; d += 8) holds.push_back({"UP\n", kStepUp, d, d + 4});
    for (const Hold& h : holds) script += std::to_string(h.down) + " down " + h.key + std::to_string(h.up) + " up " + h.key;
    const testsupport::SimResult r = testsupport::RunSim(dir, script, {"--until", "200"});
    const std::string replay = testsupport::ReadFile(dir + "/Replays/Map01.replay");
    std::vector<uint8_t> steps;
    // A whole section: a step per frame written, then the step that ended
    // the run (its frame is counted, not written).
    ASSERT_EQ(ReadKeySection(replay, steps) == KeySection::kWhole ? steps.size() : 0, size_t(r.trace.back().frameIndex));
    // UP at dispatch 3 starts the run: step k flies in dispatch k + 3; at
    // full shield it draws a spark unless it brakes.
    for (size_t k = 1; k <= steps.size(); ++k) {
        uint8_t held = 0;
        for (const Hold& h : holds) held |= h.down < k + 3 && k + 3 <= h.up ? h.bit : 0;
        EXPECT_EQ(steps[k - 1], held | (held & kStepBrake ? 0 : kStepTrailPixel)) << "step " << k;
    }
    uint64_t hash = 14695981039346656037ull;  // FNV-1a of the frame lines, as written before keys were kept
    for (unsigned char c : replay.substr(0, replay.find("Keys="))) hash = (hash ^ c) * 1099511628211ull;
    EXPECT_EQ(hash, 0x63e0b0c5a08bb2e4ull);
    testsupport::RemoveTree(dir);
}
