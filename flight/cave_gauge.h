// The cave gauge: the open space above and below the ship, and the score.
// SPDX-License-Identifier: MIT
#pragma once

// Probes the cave above and below the ship and adds the frame's score.
void MeasureCave();
