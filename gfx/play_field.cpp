// The play field's image and drawing state, and the drawing calls that use
// them, text aside (gfx/field_text.cpp).
// SPDX-License-Identifier: MIT
#include "gfx/play_field.h"

#include <cstdlib>

#include "platform/platform.h"

PictureBox MainField;

void CreatePlayField() {
    if (MainField.image == nullptr) MainField.image = CreateSurface(kFieldWidth, kFieldHeight);
    MainField.backColor = 0;
    MainField.foreColor = 0;
    MainField.fontName = FONT_ARIAL;
    MainField.fontSize = 12;
    MainField.fontBold = true;
    MainField.drawWidth = 1;
    MainField.height = kFieldHeight;
}

void Cls() { FillSurface(MainField.image, MainField.backColor); }

void Refresh() { PlatformPresent(); }

void Line(int x1, int y1, int x2, int y2, uint32_t colour) {
    Surface* s = MainField.image;
    if (s == nullptr) return;
    // The end point is not drawn, as with a GDI pen; a pen of width 2 also
    // covers the pixel row or column before the line.
    const int w = MainField.drawWidth < 1 ? 1 : MainField.drawWidth;
    const int lo = -(w / 2);
    const int hi = (w - 1) / 2;
    int dx = std::abs(x2 - x1), dy = -std::abs(y2 - y1);
    int stepX = x1 < x2 ? 1 : -1, stepY = y1 < y2 ? 1 : -1;
    int err = dx + dy;
    int x = x1, y = y1;
    while (x != x2 || y != y2) {
        for (int oy = lo; oy <= hi; ++oy)
            for (int ox = lo; ox <= hi; ++ox) SetPixel(s, x + ox, y + oy, colour);
        int e2 = 2 * err;
        if (e2 >= dy) { err += dy; x += stepX; }
        if (e2 <= dx) { err += dx; y += stepY; }
    }
}
