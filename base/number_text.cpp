#include "base/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {
template <typename T>
std::string ShortestFixed(T v) {
    if (v == 0) return "0";  // also -0
    if (!std::isfinite(v)) return "0";
    char buf[400];
    auto result = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return std::string(buf, result.ptr);
}
}  // namespace

std::string FloatText(float v) { return ShortestFixed(v); }

std::string DoubleText(double v) { return ShortestFixed(v); }

std::string Format000(double v) {
    double r = std::round(v);  // halves away from zero
    if (!std::isfinite(r)) r = 0;
    char buf[64];
    if (r < 0) {
        std::snprintf(buf, sizeof buf, "-%03.0f", -r);
    } else {
        std::snprintf(buf, sizeof buf, "%03.0f", r);
    }
    return buf;
}
