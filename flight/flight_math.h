// The flight's arithmetic: every right-hand side is evaluated in double
// precision from the stored values and rounded to single precision only where
// it is stored into a float field. These spell the two conversions briefly.
#pragma once

namespace flightmath {
inline double D(float v) { return static_cast<double>(v); }
inline double D(int v) { return static_cast<double>(v); }
inline float F(double v) { return static_cast<float>(v); }
}  // namespace flightmath
