// quillrun-prove: proves one replay file from the command line, as the score
// server does, for an operator or a test.
// SPDX-License-Identifier: MIT
#include <cstdio>
#include <string>

#include "base/command_line.h"
#include "base/regular_file.h"
#include "proof/run_proof.h"
#include "replay/replay_file.h"

int main(int argc, char** argv) {
    std::string maps, replayPath;
    int map = 0, score = 0;
    bool anyCave = false;
    const CommandLine line{
        "quillrun-prove",
        "--maps PATH/Maps.ini --map N --score N --replay FILE",
        {{"maps", "PATH", "the catalogue of the caves (the shipped Maps.ini)",
          [&](const std::string& v) { return maps = v, std::string(); }},
         {"map", "N", "the map the run was flown on",
          [&](const std::string& v) { return ReadWholeNumber(v, "--map", 1, 50, &map); }},
         {"score", "N", "the score uploaded for the run",
          [&](const std::string& v) { return ReadWholeNumber(v, "--score", 0, 32767, &score); }},
         {"replay", "FILE", "the replay file", [&](const std::string& v) { return replayPath = v, std::string(); }},
         {"any-cave", nullptr, "take caves of any size (a catalogue of one's own)",
          [&](const std::string&) { return anyCave = true, std::string(); }}}};
    ParseCommandLine(line, argc, argv);
    std::string replay;
    if (maps.empty() || replayPath.empty() || ReadRegularFile(replayPath, kMaxReplayBytes, replay) != FileRead::kOk) {
        std::fprintf(stderr, "quillrun-prove: give --maps, --map, --score and a readable --replay file\n");
        return 2;
    }
    SetProofCaves(maps, anyCave);
    const Proof proof = ProveRun(map, replay, score);
    static const char* const verdicts[] = {"proven", "refused", "unproven"};
    const int verdict = static_cast<int>(proof.verdict);
    std::printf("%s: %s\n", verdicts[verdict], proof.reason.c_str());
    return verdict == 0 ? 0 : verdict == 1 ? 1 : 3;
}
