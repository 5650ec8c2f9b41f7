// Platform services that are the same in the window and headless builds.
// SPDX-License-Identifier: MIT
#include <random>

#include "base/regular_file.h"
#include "platform/platform.h"

namespace {
std::mt19937 generator(1);
}

bool PlatformFileExists(const std::string& path) { return IsFile(path); }

double PlatformRandom() { return static_cast<double>(generator() >> 8) * (1.0 / 16777216.0); }

void PlatformSeedRandom(uint32_t seed) { generator.seed(seed); }
