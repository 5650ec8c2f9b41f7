// The map selection screen and the help picture.
// SPDX-License-Identifier: MIT
#pragma once

void DrawSelectionScreen();
void DrawHelpScreen();
