// The play field's text: its fonts, opened with the field, and text drawn in
// the field's current font and colour from the glyph cache.
// SPDX-License-Identifier: MIT
#pragma once

#include <string>

struct Surface;

// Creates the field (CreatePlayField) and opens the fonts; false with a
// reason when a face is missing.
bool InitPlayField(std::string* error);

// Draws `length` bytes of `text` (Windows-1252) with the field's current
// font and ForeColor, transparent background, top left of the text cell at
// (x, y). Allocates nothing: glyphs come from a cache.
void TextOutA(Surface* dest, int x, int y, const char* text, int length);
void TextOutA(Surface* dest, int x, int y, const std::string& text);

// Width in pixels that TextOutA would advance for the text with the current
// font.
int TextWidth(const char* text, int length);
