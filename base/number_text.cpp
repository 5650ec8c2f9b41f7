// The shortest decimal text of a float.
// SPDX-License-Identifier: MIT
#include "base/number_text.h"

#include <charconv>
#include <cmath>

std::string FloatText(float v) {
    if (v == 0) return "0";  // also -0
    if (!std::isfinite(v)) return "0";
    char buf[400];
    auto result = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return std::string(buf, result.ptr);
}
