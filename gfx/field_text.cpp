// The play field's text: its fonts, opened with the field, and text drawn in
// the field's current font and colour.
// SPDX-License-Identifier: MIT
#include "gfx/field_text.h"

#include "gfx/play_field.h"
#include "gfx/text.h"

bool InitPlayField(std::string* error) {
    CreatePlayField();
    return InitFonts(error);
}

namespace {
TextStyle FieldStyle() {
    return TextStyle{MainField.fontName, MainField.fontSize, MainField.fontBold, MainField.foreColor};
}
}  // namespace

void TextOutA(Surface* dest, int x, int y, const char* text, int length) {
    DrawGlyphs(dest, x, y, FieldStyle(), text, length);
}

void TextOutA(Surface* dest, int x, int y, const std::string& text) {
    TextOutA(dest, x, y, text.data(), static_cast<int>(text.size()));
}

int TextWidth(const char* text, int length) { return GlyphsWidth(FieldStyle(), text, length); }
