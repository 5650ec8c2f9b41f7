// Number texts in bounded buffers, and the drawing helpers of the screens.
// SPDX-License-Identifier: MIT
#include "screens/screen_text.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "gfx/field_text.h"
#include "gfx/surface.h"
#include "platform/platform.h"

void PutBytes(TextBuffer& b, const char* text, size_t length) {
    size_t room = static_cast<size_t>(b.end - b.pos);
    if (length > room) length = room;
    if (length > 0) std::memcpy(b.pos, text, length);
    b.pos += length;
}

void PutChar(TextBuffer& b, char c) {
    if (b.pos < b.end) *b.pos++ = c;
}

void PutInteger(TextBuffer& b, long long v, int minDigits) {
    char digits[24];
    unsigned long long u = v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    auto r = std::to_chars(digits, digits + sizeof digits, u);
    int n = static_cast<int>(r.ptr - digits);
    if (v < 0) PutChar(b, '-');
    for (int i = n; i < minDigits; ++i) PutChar(b, '0');
    PutBytes(b, digits, static_cast<size_t>(n));
}

namespace {
template <typename T>
void PutShortest(TextBuffer& b, T v) {
    if (v == 0 || !std::isfinite(v)) {
        PutChar(b, '0');
        return;
    }
    // The fixed form of the smallest double needs a few hundred characters.
    char digits[400];
    auto r = std::to_chars(digits, digits + sizeof digits, v, std::chars_format::fixed);
    if (r.ec != std::errc()) {
        PutChar(b, '0');
        return;
    }
    PutBytes(b, digits, static_cast<size_t>(r.ptr - digits));
}
}  // namespace

void PutFloatText(TextBuffer& b, float v) { PutShortest(b, v); }

void PutDoubleText(TextBuffer& b, double v) { PutShortest(b, v); }

void PutWholeNumber(TextBuffer& b, double whole, int minDigits) {
    if (!std::isfinite(whole)) whole = 0;
    if (std::fabs(whole) < 9.0e18) {
        PutInteger(b, static_cast<long long>(whole), minDigits);
        return;
    }
    PutDoubleText(b, whole);  // far beyond any padding width
}

void DrawTwice(int x, int y, const char* text, int length) {
    MainField.foreColor = kYellow;
    TextOutA(MainField.image, x, y, text, length);
    MainField.foreColor = kRed;
    TextOutA(MainField.image, x + 1, y + 1, text, length);
}

int Jitter() { return static_cast<int>(std::floor(2.0 * PlatformRandom())); }

void DrawJittered(int x, int y, const char* text, int length, uint32_t first, uint32_t second) {
    const int firstX = Jitter();
    const int firstY = Jitter();
    MainField.foreColor = first;
    TextOutA(MainField.image, x + firstX, y + firstY, text, length);
    const int secondX = Jitter();
    const int secondY = Jitter();
    MainField.foreColor = second;
    TextOutA(MainField.image, x + secondX, y + secondY, text, length);
}
