// Pixel surfaces and the raster operations the game draws with.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// Colours are 0x00BBGGRR.
constexpr uint32_t kRed = 0xFF;
constexpr uint32_t kGreen = 0xFF00;
constexpr uint32_t kBlue = 0xFF0000;
constexpr uint32_t kYellow = 0xFFFF;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kLightBlue = 0xFF8080;
constexpr uint32_t kPaleBlueWhite = 0xFEEDEE;
constexpr uint32_t kDebugMark = 0x40C0;

// A 32-bit pixel buffer, row-major, pixels in 0x00BBGGRR.
struct Surface {
    int width = 0;
    int height = 0;
    uint32_t* pixels = nullptr;
};

// Allocates a surface of the given size, cleared to 0. Returns nullptr when
// the size is not positive or too large.
Surface* CreateSurface(int width, int height);
void DestroySurface(Surface* surface);

enum RasterOp { SRCCOPY, SRCAND, SRCPAINT };

// Copies a width x height rectangle of `source` at (sx, sy) to `dest` at
// (x, y), clipped at every edge of both. A null source draws nothing.
void BitBlt(Surface* dest, int x, int y, int width, int height, const Surface* source, int sx, int sy,
            RasterOp op);

// Outside the surface, or on a null surface, reads a non-zero value
// (0xFFFFFFFF), so the edges of a map act as rock.
uint32_t GetPixel(const Surface* surface, int x, int y);

// Outside the surface, or on a null surface, does nothing.
void SetPixel(Surface* surface, int x, int y, uint32_t colour);

// Fills the whole surface with one colour.
void FillSurface(Surface* surface, uint32_t colour);
