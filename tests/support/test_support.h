// Helpers shared by the tests: temporary game folders, picture fixtures,
// and running quillrun-sim as a separate process.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// A fresh empty folder under /tmp, removed by the caller or left for a look.
std::string MakeTempDir(const std::string& prefix = "quillrun-test");

// WriteFile makes the folders the path needs.
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
void RemoveTree(const std::string& path);

// Writes an uncompressed bottom-up 24-bit BMP; pixel(x, y) gives 0x00BBGGRR.
void WriteBmp24(const std::string& path, int width, int height,
                const std::function<uint32_t(int x, int y)>& pixel);

// A cave of `width` x 200: open (black) between rows `top` and `bottom`
// inclusive, grey rock elsewhere.
void WriteCorridorBmp(const std::string& path, int width, int top, int bottom);

// A game folder with Maps/, Pictures/ and Replays/, and the given Maps.ini
// text (CR LF is added to every line given with \n). The pictures: an 18 x 18
// ship (a white 18 x 9 block over its mask, black under the ship), a 622 x 216
// background and a 600 x 216 help picture.
std::string MakeGameDir(const std::string& mapsIni);

// One line of the driver's trace: a field per column, named as the column.
struct TraceLine {
#define COLUMN_COUNT(name, value) long name = 0;
#define COLUMN_INT(name, value) int name = 0;
#define COLUMN_FLAG(name, value) int name = 0;
#define COLUMN_FLOAT(name, value) float name = 0;
#include "headless/trace_columns.def"
#undef COLUMN_COUNT
#undef COLUMN_INT
#undef COLUMN_FLAG
#undef COLUMN_FLOAT
};

// A PNG shot of the play field (or any PNG), pixels as 0x00BBGGRR like the
// game's surfaces. Empty (width 0) when the file cannot be read.
struct Shot {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    bool operator==(const Shot&) const = default;
};
Shot ReadShot(const std::string& path);

struct SimResult {
    int status = -1;
    std::string out;   // standard output (the message lines)
    std::string err;   // standard error
    std::vector<TraceLine> trace;
    long virtualTime = -1;  // in ms, printed with --bench
    Shot shot;              // the one asked for
};

// Runs quillrun-sim on `gameDir` with the script text and extra arguments;
// always asks for a trace and parses it, and for a shot at dispatch `shotAt`
// when that is above 0.
SimResult RunSim(const std::string& gameDir, const std::string& script,
                 const std::vector<std::string>& extraArgs = {}, long shotAt = 0);

// Runs a command line through the shell; returns its exit status and output.
int RunCommand(const std::string& command, std::string* output = nullptr);

}  // namespace testsupport
