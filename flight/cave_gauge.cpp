// The cave gauge and the score of a frame.
// SPDX-License-Identifier: MIT
#include "flight/cave_gauge.h"

#include <cmath>

#include "base/conversions.h"
#include "base/game_state.h"
#include "base/geometry.h"
#include "gfx/surface.h"

using namespace precision;

namespace {

// The shield bonus: v rounded to a whole number with halves away from zero
// (the "000" pattern read back as a number), then divided by 1000. Computed
// without text so that a frame allocates nothing.
float ShieldPart(double v) {
    double whole = std::round(v);
    if (!std::isfinite(whole)) whole = 0;
    return static_cast<float>(whole / 1000.0);
}

// First offset whose pixel is rock; open pixels passed are marked when the
// debug marks are on.
int16_t Probe(int x, int direction) {
    const int range = gs.gaugeRange;
    for (int i = 1; i <= range; ++i) {
        const double row = direction > 0 ? D(gs.shipY) + i + kGaugeBelowY : D(gs.shipY) - i;
        const int y = Near(row);
        if (GetPixel(gs.mapSurface, x, y) != 0) return static_cast<int16_t>(i);
        if (gs.debugDraw != 0) SetPixel(gs.mapSurface, x, y, kDebugMark);
    }
    return static_cast<int16_t>(range + 1);
}
}  // namespace

void MeasureCave() {
    const int x = Near(D(gs.shipX) + D(gs.scrollX));
    gs.gapBelow = Probe(x, +1);
    gs.gapAbove = Probe(x, -1);

    gs.brakeShieldBonus = ShieldPart(D(gs.shield) / 3.0);
    gs.shieldBonus = ShieldPart(D(gs.shield) / 2.0);
    gs.narrowBonus = static_cast<float>((gs.gaugeRange - gs.gapBelow) + gs.gaugeRange - gs.gapAbove + 2);

    // The speed part uses the base speed, not the braked or boosted step.
    const double speedPart = D(gs.scrollSpeed) / 20.0;
    const double narrowPart = D(gs.narrowBonus) / 70.0;
    double gain;
    if (gs.brakeHeld != 0) {
        gain = (speedPart + D(gs.brakeShieldBonus) + narrowPart) / 2.0;
    } else if (gs.turboHeld == 0) {
        gain = D(gs.shieldBonus) + speedPart + narrowPart;
    } else {
        gain = 2.5 * (speedPart + D(gs.shieldBonus) + narrowPart);
    }
    gs.score = static_cast<float>(D(gs.score) + gain);
}
