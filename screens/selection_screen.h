#pragma once

void DrawSelectionScreen();
void DrawHelpScreen();
