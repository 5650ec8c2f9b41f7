// The play field: the 600 x 216 picture box that fills the window, with its
// persistent image and drawing properties.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

#include "base/geometry.h"
#include "gfx/surface.h"
#include "gfx/text.h"

struct PictureBox {
    Surface* image = nullptr;      // 600 x 216, created by InitPlayField
    uint32_t backColor = 0;        // what Cls clears to
    uint32_t foreColor = 0;
    FontFace fontName = FONT_ARIAL;
    int fontSize = 12;             // points at 96 dpi
    bool fontBold = true;
    int drawWidth = 1;
    int height = kFieldHeight;
};

extern PictureBox MainField;

// Creates the field's image (once) and sets the initial drawing state
// (Arial bold 12, black on black, pen width 1).
void CreatePlayField();

// Clears the field to its background colour.
void Cls();

// Shows what was drawn so far at once.
void Refresh();

// A straight line in `colour` with the current DrawWidth (1 or 2).
void Line(int x1, int y1, int x2, int y2, uint32_t colour);
