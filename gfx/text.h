// Fonts: faces found by family name, glyphs rendered once per face, size
// and weight and kept in a cache; drawing from the cache allocates nothing.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

struct Surface;

enum FontFace { FONT_ARIAL, FONT_COURIER_NEW };

// What a text is drawn with: face, size in points at 96 dpi, weight, colour.
struct TextStyle {
    FontFace face = FONT_ARIAL;
    int size = 12;
    bool bold = true;
    uint32_t colour = 0;
};

// Finds and opens the Arial- and Courier New-metric faces. False with a
// reason when a face cannot be found or is not the expected family.
bool InitFonts(std::string* error);

// Draws `length` bytes of `text` (Windows-1252), transparent background, top
// left of the text cell at (x, y). Nothing is drawn before InitFonts.
void DrawGlyphs(Surface* dest, int x, int y, const TextStyle& style, const char* text, int length);

// Width in pixels that DrawGlyphs would advance for the text.
int GlyphsWidth(const TextStyle& style, const char* text, int length);
