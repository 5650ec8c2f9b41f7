// The display of a run over its view.
// SPDX-License-Identifier: MIT
#pragma once

// The status line and the messages over the view during a run.
void DrawFlightDisplay();
