// Platform services that are the same in the window and headless builds.
#include <sys/stat.h>

#include <random>

#include "platform/platform.h"

namespace {
std::mt19937 generator(1);
}

bool PlatformFileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

double PlatformRandom() { return static_cast<double>(generator() >> 8) * (1.0 / 16777216.0); }

void PlatformSeedRandom(uint32_t seed) { generator.seed(seed); }
