// Placeholder until the flight lands.
#include "flight/ship_motion.h"
void ScrollView() {}
void UpdateShip() {}
