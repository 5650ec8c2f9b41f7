// The status line under the view, shared by a run's display and replay
// playback: shield and fuel gauges with their labels, and the score.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// The shield and fuel bars are text: a bar of N units is the first N
// characters of a 50-character string of '|', drawn on the status line at x
// with the field's current font and colour. N is clamped to 0..50, so the
// string is never read past its end.
constexpr int kBarLength = 50;
void DrawStatusBar(int x, int units);

// What differs between a run's status line and a replay's.
struct StatusLine {
    const char* score;         // the score text ("Score: ...") and its length
    int scoreLength;
    bool scoreFirst;           // playback draws the score before the gauges
    uint32_t shieldBack;       // colour of the full shield bar under the fill
    int shieldUnits;           // blue fill of the shield bar
    bool fuelWarning;          // a full bar in `fuelWarningColour` over the white one
    uint32_t fuelWarningColour;
    int fuelUnits;             // blue fill of the fuel bar
};

// Draws the labels, bars and score at 8 points in this order (the score
// first or last). The shield label takes the weight in force; everything
// after it is drawn normal.
void DrawStatusLine(const StatusLine& line);
