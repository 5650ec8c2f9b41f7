// Placeholder until the screens land.
#include "screens/selection_screen.h"
void DrawSelectionScreen() {}
void DrawHelpScreen() {}
