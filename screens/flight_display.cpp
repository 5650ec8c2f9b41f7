// Placeholder until the screens land.
#include "screens/flight_display.h"
void DrawFlightDisplay() {}
