// Numbers as the game writes them into texts that are kept (messages, INI
// values, replay lines); the screens use the allocation-free screen_text.
// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// The shortest plain decimal text of a single-precision value: a leading "-"
// for negatives, a decimal point only when there is a fraction.
std::string FloatText(float v);
