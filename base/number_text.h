// Numbers as the game writes them.
#pragma once

#include <string>

// The shortest plain decimal text of a single-precision value: a leading "-"
// for negatives, a decimal point only when there is a fraction.
std::string FloatText(float v);

// The same for a double-precision value (shortest text that reads back as it).
std::string DoubleText(double v);

// v rounded to a whole number, halves away from zero, at least three digits
// ("000" pattern).
std::string Format000(double v);
