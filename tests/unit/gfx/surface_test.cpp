// Raster operations, clipping and pixel access on surfaces.
#include <gtest/gtest.h>

#include "base/game_state.h"
#include "gfx/surface.h"

namespace {

// Every pixel distinct: colour = 0x010000 + y * 256 + x.
Surface* NumberedSurface(int w, int h) {
    Surface* s = CreateSurface(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) SetPixel(s, x, y, 0x010000u + static_cast<uint32_t>(y * 256 + x));
    return s;
}

TEST(BitBlt, CopyIsClippedAtEveryEdgeAndDrawsNothingOutside) {
    // Source 10 x 8, destination 12 x 9; expected copied box [x0, x1) x [y0, y1).
    const struct { const char* name; int x, y, w, h, sx, sy, x0, y0, x1, y1; } cases[] = {
        {"inside", 2, 1, 4, 3, 1, 2, 2, 1, 6, 4}, {"dest left", -2, 1, 5, 3, 0, 0, 0, 1, 3, 4},
        {"dest top", 1, -3, 4, 5, 0, 0, 1, 0, 5, 2}, {"dest right", 9, 0, 6, 2, 0, 0, 9, 0, 12, 2},
        {"dest bottom", 0, 7, 3, 6, 0, 0, 0, 7, 3, 9}, {"source left", 3, 2, 4, 2, -2, 0, 5, 2, 7, 4},
        {"source top", 3, 2, 2, 4, 0, -3, 3, 5, 5, 6}, {"source right", 0, 0, 6, 2, 7, 0, 0, 0, 3, 2},
        {"source bottom", 0, 0, 2, 6, 0, 5, 0, 0, 2, 3}, {"larger than both", -5, -5, 100, 100, 0, 0, 0, 0, 5, 3},
        {"both negative", -1, -1, 4, 4, -2, 0, 1, 0, 3, 3}, {"right of dest", 12, 0, 5, 5, 0, 0, 0, 0, 0, 0},
        {"above source", 0, 0, 5, 5, 0, -5, 0, 0, 0, 0}, {"right of source", 0, 0, 5, 5, 10, 0, 0, 0, 0, 0},
        {"zero width", 0, 0, 0, 5, 0, 0, 0, 0, 0, 0}, {"negative height", 0, 0, 5, -1, 0, 0, 0, 0, 0, 0},
    };
    Surface* src = NumberedSurface(10, 8);
    Surface* dest = CreateSurface(12, 9);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FillSurface(dest, 0x123456);
        BitBlt(dest, c.x, c.y, c.w, c.h, src, c.sx, c.sy, SRCCOPY);
        for (int y = 0; y < dest->height; ++y)
            for (int x = 0; x < dest->width; ++x) {
                const bool inside = x >= c.x0 && x < c.x1 && y >= c.y0 && y < c.y1;
                ASSERT_EQ(GetPixel(dest, x, y), inside ? GetPixel(src, x + c.sx - c.x, y + c.sy - c.y) : 0x123456u)
                    << x << "," << y;
            }
    }
    BitBlt(dest, 0, 0, 5, 5, nullptr, 0, 0, SRCCOPY);  // empty slots
    BitBlt(nullptr, 0, 0, 5, 5, src, 0, 0, SRCCOPY);
    EXPECT_EQ(GetPixel(dest, 0, 0), 0x123456u);
    BitBlt(src, 2, 0, 8, 1, src, 0, 0, SRCCOPY);  // overlapping, within one surface
    for (int x = 2; x < 10; ++x) EXPECT_EQ(GetPixel(src, x, 0), 0x010000u + static_cast<uint32_t>(x - 2));
    DestroySurface(src);
    DestroySurface(dest);
}

TEST(BitBlt, MaskThenImageDrawsTheShipTransparently) {
    // Image rows 0..8, mask rows 9..17: black where the ship shows, white elsewhere.
    Surface* ship = CreateSurface(18, 18);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 18; ++x) {
            SetPixel(ship, x, y, x >= 4 && x < 14 ? kYellow : 0);
            SetPixel(ship, x, y + 9, x >= 4 && x < 14 ? 0 : kWhite);
        }
    Surface* field = CreateSurface(30, 20);
    FillSurface(field, 0x405060);
    BitBlt(field, 5, 3, 18, 9, ship, 0, 9, SRCAND);
    BitBlt(field, 5, 3, 18, 9, ship, 0, 0, SRCPAINT);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x)
            ASSERT_EQ(GetPixel(field, x, y), y >= 3 && y < 12 && x >= 9 && x < 19 ? kYellow : 0x405060u) << x << "," << y;
    DestroySurface(ship);
    DestroySurface(field);
}

TEST(Pixels, OutsideReadsAsRockWritesNothingAndAbsurdSizesAreRefused) {
    Surface* s = CreateSurface(4, 3);
    for (auto [x, y] : {std::pair{-1, 0}, {4, 0}, {0, -1}, {0, 3}, {-100000, 100000}}) {
        EXPECT_TRUE(GetPixel(s, x, y) != 0 && GetPixel(nullptr, x, y) != 0);
        SetPixel(s, x, y, kRed);
        SetPixel(nullptr, x, y, kRed);
    }
    SetPixel(s, 3, 2, 0xFF00FF00u);  // only 24 bits of colour are kept
    for (int i = 0; i < 12; ++i) EXPECT_EQ(s->pixels[i], i == 11 ? 0x00FF00u : 0u) << i;
    DestroySurface(s);
    for (auto [w, h] : {std::pair{0, 10}, {10, -1}, {70000, 1}, {65536, 65536}}) EXPECT_EQ(CreateSurface(w, h), nullptr);
}

}  // namespace
