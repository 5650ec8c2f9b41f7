// Proving a run: the recorded keys of a replay file flown again from the
// cave's start with the game's own flight code, and the frames that come out
// compared with the file's. Toolkit-free; the score server links it.
// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

enum class ProofVerdict {
    kProven,    // every frame, trail pixel, the end and the score as recorded
    kRefused,   // the first step that differs is in `step` and `field`
    kUnproven,  // nothing to fly: no recorded keys, or the cave is not here
};

struct Proof {
    ProofVerdict verdict = ProofVerdict::kUnproven;
    int step = 0;        // refused: the first step that differs (1 = the first moving frame)
    std::string field;   // refused: "mapX", "shipX", "shipY", "score", "shield", "fuel",
                         // "trail pixel", "end" or "keys"
    std::string reason;  // one line for the operator
};

// The shipped catalogue; the cave pictures are in its folder. Each cave is
// read when a run needs it, and taken only at the byte size it is shipped at,
// unless `anyCave` (a catalogue of one's own caves, for checking runs on them).
void SetProofCaves(const std::string& mapsIniPath, bool anyCave = false);

// Proves a replay file of map `map` against the uploaded whole `score`.
// Flies the recorded waiting frames (at most 1,000,000) and at most one step
// per recorded key entry (30001), up to three times (the ways a run can
// begin), so it always ends. Uses the one game state:
// one proof at a time.
Proof ProveRun(int map, std::string_view replayFile, int score);
