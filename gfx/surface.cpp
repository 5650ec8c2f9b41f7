// Pixel surfaces: allocation, clipped copies, pixel access.
// SPDX-License-Identifier: MIT
#include "gfx/surface.h"

#include <algorithm>
#include <cstring>
#include <new>

Surface* CreateSurface(int width, int height) {
    // Bounded so that width * height cannot overflow and a hostile picture
    // header cannot ask for gigabytes.
    if (width <= 0 || height <= 0 || width > 65536 || height > 65536) return nullptr;
    if (static_cast<long long>(width) * height > (1LL << 28)) return nullptr;
    auto* s = new (std::nothrow) Surface;
    if (s == nullptr) return nullptr;
    s->pixels = new (std::nothrow) uint32_t[static_cast<size_t>(width) * static_cast<size_t>(height)]();
    if (s->pixels == nullptr) {
        delete s;
        return nullptr;
    }
    s->width = width;
    s->height = height;
    return s;
}

void DestroySurface(Surface* surface) {
    if (surface == nullptr) return;
    delete[] surface->pixels;
    delete surface;
}

void BitBlt(Surface* dest, int x, int y, int width, int height, const Surface* source, int sx, int sy,
            RasterOp op) {
    if (dest == nullptr || source == nullptr || width <= 0 || height <= 0) return;
    // Clip against the source, then the destination, moving both origins.
    if (sx < 0) { x -= sx; width += sx; sx = 0; }
    if (sy < 0) { y -= sy; height += sy; sy = 0; }
    if (x < 0) { sx -= x; width += x; x = 0; }
    if (y < 0) { sy -= y; height += y; y = 0; }
    width = std::min({width, source->width - sx, dest->width - x});
    height = std::min({height, source->height - sy, dest->height - y});
    if (width <= 0 || height <= 0) return;
    for (int row = 0; row < height; ++row) {
        const uint32_t* s = source->pixels + static_cast<size_t>(sy + row) * source->width + sx;
        uint32_t* d = dest->pixels + static_cast<size_t>(y + row) * dest->width + x;
        switch (op) {
            case SRCCOPY:
                std::memmove(d, s, static_cast<size_t>(width) * sizeof(uint32_t));
                break;
            case SRCAND:
                for (int i = 0; i < width; ++i) d[i] &= s[i];
                break;
            case SRCPAINT:
                for (int i = 0; i < width; ++i) d[i] |= s[i];
                break;
        }
    }
}

uint32_t GetPixel(const Surface* surface, int x, int y) {
    if (surface == nullptr || x < 0 || y < 0 || x >= surface->width || y >= surface->height) {
        return 0xFFFFFFFFu;
    }
    return surface->pixels[static_cast<size_t>(y) * surface->width + x];
}

void SetPixel(Surface* surface, int x, int y, uint32_t colour) {
    if (surface == nullptr || x < 0 || y < 0 || x >= surface->width || y >= surface->height) return;
    surface->pixels[static_cast<size_t>(y) * surface->width + x] = colour & 0xFFFFFFu;
}

void FillSurface(Surface* surface, uint32_t colour) {
    if (surface == nullptr) return;
    std::fill(surface->pixels, surface->pixels + static_cast<size_t>(surface->width) * surface->height,
              colour);
}
