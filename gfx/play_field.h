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

// Creates the field's image and sets the initial font (Arial bold 12).
// Also opens the fonts; returns false with a reason when a face is missing.
bool InitPlayField(std::string* error);

// Clears the field to its background colour.
void Cls();

// Shows what was drawn so far at once.
void Refresh();

// A straight line in `colour` with the current DrawWidth (1 or 2).
void Line(int x1, int y1, int x2, int y2, uint32_t colour);

// Draws `length` bytes of `text` (Windows-1252) with the field's current
// font and ForeColor, transparent background, top left of the text cell at
// (x, y). Allocates nothing: glyphs come from a cache.
void TextOutA(Surface* dest, int x, int y, const char* text, int length);
void TextOutA(Surface* dest, int x, int y, const std::string& text);

// Width in pixels that TextOutA would advance for the text with the current
// font.
int TextWidth(const char* text, int length);
