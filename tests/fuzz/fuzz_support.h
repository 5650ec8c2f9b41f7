// What the fuzz targets share: a private program folder for this process
// (in memory when /dev/shm exists), writing an input into it, and checking
// a promised property (header-only, for targets that link no game code).
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzsupport {

// Creates (once) a folder with Maps/, Pictures/ and Replays/, sets it as
// the program folder, and removes it when the process exits normally.
const std::string& GameFolder();

// Replaces the file at `path` with the bytes; aborts when it cannot, since
// a target that silently reads an old file would fuzz nothing.
void WriteInput(const std::string& path, const uint8_t* data, size_t size);

// Aborts with a message when `ok` is false: a property the code promises
// does not hold for this input.
inline void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
}

}  // namespace fuzzsupport
