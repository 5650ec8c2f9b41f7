// A record run through quillrun-sim keeps every step's keys after the frame
// lines of its replay, and the start of the game keeps a pending replay only
// when its key section is whole or absent.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "replay/key_section.h"
#include "test_support.h"

namespace {

using testsupport::RunSim;
using testsupport::SimResult;

uint64_t Fnv1a(const std::string& s) {
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
    return h;
}

TEST(ReplayKeys, EveryStepKeepsTheKeysItFoundHeld) {
    const std::string dir = testsupport::MakeGameDir("[01]\nFile=One.bmp\nWidth=700\n");
    testsupport::WriteCorridorBmp(dir + "/Maps/One.bmp", 800, 40, 160);  // open past the end
    // Held from the step after `down` to the step of `up`; DOWN once with UP
    // and once without, brake and turbo apart and together.
    struct Hold { const char* key; uint8_t bit; int down, up; };
    std::vector<Hold> holds = {{"DOWN", kStepDown, 9, 10},    {"DOWN", kStepDown, 20, 22},
                               {"LEFT", kStepBrake, 40, 70},  {"RIGHT", kStepTurbo, 100, 130},
                               {"LEFT", kStepBrake, 150, 156}, {"RIGHT", kStepTurbo, 152, 160}};
    for (int d = 3; d < 180; d += 8) holds.push_back({"UP", kStepUp, d, d + 4});  // level flight
    std::string script = "1 tap ENTER\ndialog Ada\n";
    for (const Hold& h : holds)
        script += std::to_string(h.down) + " down " + h.key + "\n" + std::to_string(h.up) + " up " + h.key + "\n";
    const SimResult r = RunSim(dir, script, {"--until", "200"});
    ASSERT_EQ(r.status, 0) << r.err;

    // The step at dispatch n found what the script held after dispatch n - 1.
    std::vector<uint8_t> expected;
    float score = 0;
    for (const auto& t : r.trace) {
        if (t.frameIndex != static_cast<int>(expected.size()) + 1) continue;
        uint8_t held = 0;
        for (const Hold& h : holds) held |= h.down < t.dispatch && t.dispatch <= h.up ? h.bit : 0;
        expected.push_back(held);
        EXPECT_EQ(t.shield, t.playing != 0 ? 100 : 0) << t.dispatch;  // no hit: a spark unless braking
        score = t.score;
    }
    const std::string replay = testsupport::ReadFile(dir + "/Replays/Map01.replay");
    std::vector<uint8_t> steps, held;
    ASSERT_EQ(ReadKeySection(replay, steps), KeySection::kWhole);
    for (uint8_t s : steps) {
        held.push_back(s & (kStepUp | kStepDown | kStepBrake | kStepTurbo));
        EXPECT_EQ((s & kStepTrailPixel) != 0, (s & kStepBrake) == 0);
    }
    EXPECT_EQ(held, expected);
    size_t frames = 0;  // every frame writes one "pX" line
    for (size_t p = replay.find("\npX"); p != std::string::npos; p = replay.find("\npX", p + 1)) ++frames;
    EXPECT_EQ(steps.size(), frames + 1);
    // Up to "LastFrame=" the file is what the game wrote before it kept keys.
    const std::string frameLines = replay.substr(0, replay.find("Keys="));
    EXPECT_EQ(Fnv1a(frameLines), 0x63e0b0c5a08bb2e4ull) << frameLines.size();

    // A pending replay of the record is moved into place at the next start
    // unless it is cut inside its key section.
    struct Pending { const char* what; std::string text; bool kept; };
    const Pending pendings[] = {{"whole", replay, true},
                                {"written before keys were kept", frameLines, true},
                                {"cut inside the keys", replay.substr(0, frameLines.size() + 40), false},
                                {"cut before the end line", replay.substr(0, replay.size() - 1), false}};
    const std::string tag = std::to_string(static_cast<long>(std::floor(score)));
    for (const Pending& p : pendings) {
        SCOPED_TRACE(p.what);
        testsupport::RemoveTree(dir + "/Replays");
        testsupport::WriteFile(dir + "/Replays/.Map01.replay.AbCdEf." + tag + ".pending", p.text);
        ASSERT_EQ(RunSim(dir, "", {"--until", "1"}).status, 0);
        EXPECT_EQ(testsupport::FileExists(dir + "/Replays/Map01.replay"), p.kept);
    }
    testsupport::RemoveTree(dir);
}

}  // namespace
