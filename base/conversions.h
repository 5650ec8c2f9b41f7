// Number conversions of the game: nearest integer (halves to even), whole
// part, saturated 32-bit floor, truncating division, and the double/single
// spellings of its double-precision arithmetic.
// SPDX-License-Identifier: MIT
#pragma once

#include <cmath>
#include <cstdint>

// near(v): nearest integer, halves to the even neighbour.
// Saturates outside the 32-bit range and reads NaN as 0, so that no input
// can make the conversion undefined.
inline int32_t Near(double v) {
    if (!(v == v)) return 0;
    double r = std::nearbyint(v);
    if (r >= 2147483647.0) return INT32_MAX;
    if (r <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(r);
}

// A value turned into a 16-bit integer (nearest, halves to even), saturated.
inline int16_t Near16(double v) {
    int32_t n = Near(v);
    if (n > INT16_MAX) return INT16_MAX;
    if (n < INT16_MIN) return INT16_MIN;
    return static_cast<int16_t>(n);
}

// The whole part of a value, rounded down.
inline double Whole(double v) {
    return std::floor(v);
}

// floor(v) as a 32-bit integer, saturated; NaN reads as 0.
inline int32_t WholeInt32(double v) {
    if (!(v == v)) return 0;
    double f = std::floor(v);
    if (f >= 2147483647.0) return INT32_MAX;
    if (f <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(f);
}

// a / b truncated toward zero; a zero divisor gives 0 instead of a fault.
inline int32_t DivideTruncated(int32_t a, int32_t b) {
    if (b == 0) return 0;
    long long q = static_cast<long long>(a) / b;  // INT32_MIN / -1 fits here
    if (q > INT32_MAX) return INT32_MAX;
    return static_cast<int32_t>(q);
}

// Every right-hand side of the flight is evaluated in double precision from
// the stored values and rounded to single precision only where it is stored
// into a float field. These spell the two conversions briefly.
namespace precision {
inline double D(float v) { return static_cast<double>(v); }
inline double D(int v) { return static_cast<double>(v); }
inline float F(double v) { return static_cast<float>(v); }
}  // namespace precision
