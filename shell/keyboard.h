// The key handlers. Key codes are Windows virtual-key codes.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

constexpr int16_t VK_SHIFT = 16, VK_CONTROL = 17, VK_RETURN = 13, VK_ESCAPE = 27, VK_SPACE = 32,
                  VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39, VK_DOWN = 40, VK_F1 = 112;

void OnKeyDown(int16_t keyCode);
void OnKeyUp(int16_t keyCode);
