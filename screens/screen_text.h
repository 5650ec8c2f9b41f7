// Texts of the screens: built in caller-owned char buffers (nothing here
// allocates, so the screens can format numbers on every pass), and drawn on
// the play field once, twice or with a jitter.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "gfx/field_text.h"
#include "gfx/play_field.h"

// A bounded writer over a stack buffer. Whatever does not fit is dropped;
// the screens size their buffers so that this only cuts text that would lie
// outside the field anyway.
struct TextBuffer {
    char* begin;
    char* end;
    char* pos;
};

inline TextBuffer MakeTextBuffer(char* data, size_t size) { return TextBuffer{data, data + size, data}; }
inline int TextLength(const TextBuffer& b) { return static_cast<int>(b.pos - b.begin); }

void PutBytes(TextBuffer& b, const char* text, size_t length);
void PutChar(TextBuffer& b, char c);

template <size_t N>
void PutLiteral(TextBuffer& b, const char (&text)[N]) {
    PutBytes(b, text, N - 1);
}

// Decimal digits of an integer, a leading "-" for negatives, at least
// `minDigits` digits (zero-padded).
void PutInteger(TextBuffer& b, long long v, int minDigits = 1);

// The shortest plain decimal text of the value: no exponent, a decimal point
// only when there is a fraction; -0 and non-finite values give "0".
void PutFloatText(TextBuffer& b, float v);
void PutDoubleText(TextBuffer& b, double v);

// A whole number given as a double (already rounded), with at least
// `minDigits` digits; values beyond the 64-bit range keep all their digits.
void PutWholeNumber(TextBuffer& b, double whole, int minDigits = 1);

// A fixed text on the play field with its current font and colour.
template <size_t N>
void DrawText(int x, int y, const char (&text)[N]) {
    TextOutA(MainField.image, x, y, text, static_cast<int>(N - 1));
}

// A text in yellow, then again in red one pixel right of and below it.
void DrawTwice(int x, int y, const char* text, int length);
template <size_t N>
void DrawTwice(int x, int y, const char (&text)[N]) {
    DrawTwice(x, y, text, static_cast<int>(N - 1));
}
inline void DrawTwice(int x, int y, const std::string& text) {
    DrawTwice(x, y, text.data(), static_cast<int>(text.size()));
}

// 0 or 1 pixel, from one fresh number of the game's random stream.
int Jitter();

// A text in `first`, then in `second`, each moved right and down by a
// jitter; the four numbers are drawn in this order: first x, first y,
// second x, second y.
void DrawJittered(int x, int y, const char* text, int length, uint32_t first, uint32_t second);
template <size_t N>
void DrawJittered(int x, int y, const char (&text)[N], uint32_t first, uint32_t second) {
    DrawJittered(x, y, text, static_cast<int>(N - 1), first, second);
}
