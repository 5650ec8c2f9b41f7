// The map selection screen and the help picture.
#pragma once

void DrawSelectionScreen();
void DrawHelpScreen();
