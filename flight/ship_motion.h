// Scrolling the view and moving the ship; the collision half of UpdateShip
// lives in flight/collision.h.
#pragma once

void ScrollView();
void UpdateShip();
