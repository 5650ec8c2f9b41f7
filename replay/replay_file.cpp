// Reading and placing the replay file of a map's best run (its text is
// written by replay/recording.cpp).
//
// Reading treats the file as untrusted input:
// - a line ends at LF (a CR before it is dropped); only the first bytes of an
//   over-long line are looked at, the rest of it is skipped;
// - the end of the file ends the frame lines like "--END--" does;
// - a value is the plain decimal number at the start of the value text
//   (at most 15 characters): an optional sign, digits and an optional
//   fraction; text that does not start with one reads as 0;
// - values are clamped to -32768..32767, the range the writer uses;
// - a score paired with a ship x outside 0..30000 is dropped;
// - only a regular file of at most kMaxReplayBytes is read; anything else
//   reads like an empty file.
// SPDX-License-Identifier: MIT
#include "replay/replay_file.h"

#include <sys/stat.h>

#include <charconv>
#include <cstdio>
#include <cstring>

#include "base/atomic_file.h"
#include "base/game_paths.h"
#include "base/game_state.h"
#include "base/regular_file.h"
#include "platform/platform.h"
#include "replay/key_section.h"

namespace {

constexpr int kMaxLines = kMaxFrames + 1;  // lines read before the terminator
constexpr int kValueChars = 15;
constexpr int kLineKeep = 32;              // bytes of a line that are looked at

// Reads one line into `line` (at most kLineKeep bytes kept). Returns false at
// the end of the file when nothing was read.
bool ReadLine(FILE* f, char* line, int* length) {
    int n = 0;
    long total = 0;
    int c = std::getc(f);
    if (c == EOF) return false;
    bool lastWasCr = false;
    while (c != EOF && c != '\n') {
        if (n < kLineKeep) line[n++] = static_cast<char>(c);
        ++total;
        lastWasCr = c == '\r';
        c = std::getc(f);
    }
    // Only a CR right before the LF belongs to the line end.
    if (lastWasCr && total <= kLineKeep) --n;
    *length = n;
    return true;
}

bool IsTerminator(const char* line, int length) {
    return length == 7 && std::memcmp(line, "--END--", 7) == 0;
}

// The plain decimal number at the start of the text; 0 when there is none.
double LeadingNumber(const char* text, int length) {
    if (length > kValueChars) length = kValueChars;
    int i = 0;
    bool negative = false;
    if (i < length && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    const int begin = i;
    int digits = 0;
    while (i < length && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    if (i < length && text[i] == '.') {
        ++i;
        while (i < length && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return 0;
    double v = 0;
    auto result = std::from_chars(text + begin, text + i, v, std::chars_format::fixed);
    if (result.ec != std::errc()) return 0;
    return negative ? -v : v;
}

double ValueOf(const char* line, int length, int offset) {
    if (length <= offset) return 0;
    return LeadingNumber(line + offset, length - offset);
}

bool KeyIs(const char* line, int length, const char* key) {
    return length >= 2 && line[0] == key[0] && line[1] == key[1];
}

// A value read from the file as a single-precision number, within the range
// the writer uses.
float FileValue(double v) {
    if (v > 32767.0) v = 32767.0;
    if (v < -32768.0) v = -32768.0;
    return static_cast<float>(v);
}

}  // namespace

namespace {
std::string ReplayName(int16_t map) {
    char name[32];
    std::snprintf(name, sizeof name, "/Map%02d.replay", static_cast<int>(map));
    return name;
}
}  // namespace

std::string ReplayPath(int16_t map) { return ReplayFolder() + ReplayName(map); }

std::string WorldReplayFolder() { return ReplayFolder() + "/World"; }

std::string WorldReplayPath(int16_t map) { return WorldReplayFolder() + ReplayName(map); }

void MakeReplayFolder() {
    ::mkdir(ReplayFolder().c_str(), 0755);  // usually there already
}

void LoadBestRun() {
    gs.racingWorld = kFalse;
    gs.worldRunScore = 0;
    std::string path = ReplayPath(gs.selectedMap);
    if (gs.raceWorld != 0) {
        std::string world = WorldReplayPath(gs.selectedMap);
        if (PlatformFileExists(world)) {
            path.swap(world);
            gs.racingWorld = kTrue;
        }
    }
    if (!PlatformFileExists(path)) return;
    for (int16_t& entry : gs.bestRun) entry = 0;
    FILE* f = OpenRegularFile(path, kMaxReplayBytes);
    if (f == nullptr) return;
    char line[kLineKeep];
    int length = 0;
    int16_t px = 0;
    int16_t sc = 0;
    int16_t finalScore = 0;
    for (int n = 0; n < kMaxLines; ++n) {
        if (!ReadLine(f, line, &length) || IsTerminator(line, length)) break;
        if (KeyIs(line, length, "pX")) {
            px = Near16(ValueOf(line, length, 2));
        } else if (KeyIs(line, length, "Sc")) {
            sc = Near16(ValueOf(line, length, 2));
            finalScore = sc;
        }
        if (px != 0 && sc != 0) {
            if (px > 0 && px <= kMaxFrames) gs.bestRun[px] = sc;
            px = 0;
            sc = 0;
        }
    }
    std::fclose(f);
    if (gs.racingWorld != 0) gs.worldRunScore = finalScore;
}

float LoadReplayEntries(const std::string& path) {
    for (int i = 1; i <= kMaxFrames; ++i) gs.recording[i] = ReplayFrame{};
    FILE* f = OpenRegularFile(path, kMaxReplayBytes);
    if (f == nullptr) return 0;
    char line[kLineKeep];
    int length = 0;
    bool ended = false;
    for (int i = 0; i <= kMaxFrames; ++i) {
        if (!ReadLine(f, line, &length)) {
            ended = true;
            break;
        }
        if (IsTerminator(line, length)) break;
        ReplayFrame& e = gs.recording[i];
        const float v = FileValue(ValueOf(line, length, 2));
        if (KeyIs(line, length, "mX")) {
            e.mapX = v;
        } else if (KeyIs(line, length, "pX")) {
            e.shipX = v;
        } else if (KeyIs(line, length, "pY")) {
            e.shipY = v;
        } else if (KeyIs(line, length, "Sc")) {
            e.score = v;
        } else if (KeyIs(line, length, "Sh")) {
            e.shield = v;
        } else if (KeyIs(line, length, "Fu")) {
            e.fuel = v;
        }
    }
    float lastFrame = 0;
    if (!ended && ReadLine(f, line, &length) && length >= 10 && std::memcmp(line, "LastFrame=", 10) == 0) {
        lastFrame = FileValue(ValueOf(line, length, 10));
    }
    std::fclose(f);
    return lastFrame;
}
