// Texts of the screens built in caller-owned char buffers: nothing here
// allocates, so the screens can format numbers on every pass.
#pragma once

#include <cstddef>
#include <cstdint>

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

// floor(v) as a 32-bit integer, saturated; NaN reads as 0.
int32_t WholeInt32(double v);

// a / b truncated toward zero; a zero divisor gives 0 instead of a fault.
int32_t DivideTruncated(int32_t a, int32_t b);

// The shield and fuel bars are text: a bar of N units is the first N
// characters of a 50-character string of '|', drawn on the status line
// (y = 200) at x with the field's current font and colour. N is clamped to
// 0..50, so the string is never read past its end.
constexpr int kBarLength = 50;
void DrawStatusBar(int x, int units);
