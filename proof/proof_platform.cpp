// The prover's platform: the random stream answered from the run's record,
// no sound, no picture shown, messages to standard error.
// SPDX-License-Identifier: MIT
#include "proof/proof_platform.h"

#include <cstdio>

#include "base/regular_file.h"
#include "platform/platform.h"

namespace {
double nextRandom = kLeastRandom;
}  // namespace

void AnswerNextRandom(double number) { nextRandom = number; }

double PlatformRandom() { return nextRandom; }

void PlatformPlaySound(SoundId, float) {}

void PlatformPresent() {}

bool PlatformFileExists(const std::string& path) { return IsFile(path); }

void PlatformMessageBox(const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}
