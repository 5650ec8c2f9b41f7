// Raster operations, pixel access and lines on surfaces.
#include <gtest/gtest.h>

#include <vector>

#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "shell/game_state.h"

namespace {

// A source whose every pixel is distinct: colour = 0x010000 + y * 256 + x.
Surface* NumberedSurface(int w, int h) {
    Surface* s = CreateSurface(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) SetPixel(s, x, y, 0x010000u + static_cast<uint32_t>(y * 256 + x));
    return s;
}

// Checks every pixel of dest: inside the expected copied rectangle it holds
// the source pixel it was copied from, everywhere else the fill colour.
void ExpectCopy(const Surface* dest, const Surface* src, int x0, int y0, int x1, int y1, int offX, int offY,
                uint32_t fill) {
    for (int y = 0; y < dest->height; ++y) {
        for (int x = 0; x < dest->width; ++x) {
            const bool inside = x >= x0 && x < x1 && y >= y0 && y < y1;
            const uint32_t want = inside ? GetPixel(src, x + offX, y + offY) : fill;
            ASSERT_EQ(GetPixel(dest, x, y), want) << "at " << x << "," << y;
        }
    }
}

struct ClipCase {
    const char* name;
    int x, y, w, h, sx, sy;
    // expected destination rectangle [x0, x1) x [y0, y1); source = dest + off
    int x0, y0, x1, y1;
};

TEST(BitBlt, CopyIsClippedAtEveryEdgeOfSourceAndDestination) {
    // Source 10 x 8, destination 12 x 9.
    const ClipCase cases[] = {
        {"inside", 2, 1, 4, 3, 1, 2, 2, 1, 6, 4},
        {"destination left", -2, 1, 5, 3, 0, 0, 0, 1, 3, 4},
        {"destination top", 1, -3, 4, 5, 0, 0, 1, 0, 5, 2},
        {"destination right", 9, 0, 6, 2, 0, 0, 9, 0, 12, 2},
        {"destination bottom", 0, 7, 3, 6, 0, 0, 0, 7, 3, 9},
        {"source left", 3, 2, 4, 2, -2, 0, 5, 2, 7, 4},
        {"source top", 3, 2, 2, 4, 0, -3, 3, 5, 5, 6},
        {"source right", 0, 0, 6, 2, 7, 0, 0, 0, 3, 2},
        {"source bottom", 0, 0, 2, 6, 0, 5, 0, 0, 2, 3},
        {"larger than both", -5, -5, 100, 100, 0, 0, 0, 0, 5, 3},
        {"whole source", 1, 0, 10, 8, 0, 0, 1, 0, 11, 8},
        {"both negative", -1, -1, 4, 4, -2, 0, 1, 0, 3, 3},
    };
    Surface* src = NumberedSurface(10, 8);
    for (const ClipCase& c : cases) {
        SCOPED_TRACE(c.name);
        Surface* dest = CreateSurface(12, 9);
        FillSurface(dest, 0x123456);
        BitBlt(dest, c.x, c.y, c.w, c.h, src, c.sx, c.sy, SRCCOPY);
        ExpectCopy(dest, src, c.x0, c.y0, c.x1, c.y1, c.sx - c.x, c.sy - c.y, 0x123456);
        DestroySurface(dest);
    }
    DestroySurface(src);
}

TEST(BitBlt, NothingIsDrawnOutsideOrFromAnEmptySource) {
    Surface* src = NumberedSurface(10, 8);
    Surface* dest = CreateSurface(12, 9);
    FillSurface(dest, 0x777777);
    BitBlt(dest, 12, 0, 5, 5, src, 0, 0, SRCCOPY);    // right of the destination
    BitBlt(dest, 0, -8, 5, 8, src, 0, 0, SRCCOPY);    // above it
    BitBlt(dest, 0, 0, 5, 5, src, 10, 0, SRCCOPY);    // right of the source
    BitBlt(dest, 0, 0, 5, 5, src, 0, -5, SRCCOPY);    // above the source
    BitBlt(dest, 0, 0, 0, 5, src, 0, 0, SRCCOPY);     // zero width
    BitBlt(dest, 0, 0, 5, -1, src, 0, 0, SRCCOPY);    // negative height
    BitBlt(dest, 0, 0, 5, 5, nullptr, 0, 0, SRCCOPY);  // empty slot
    BitBlt(nullptr, 0, 0, 5, 5, src, 0, 0, SRCCOPY);
    ExpectCopy(dest, src, 0, 0, 0, 0, 0, 0, 0x777777);
    DestroySurface(src);
    DestroySurface(dest);
}

TEST(BitBlt, MaskAndImageGiveTransparency) {
    // An 18 x 18 ship picture: image rows 0..8, mask rows 9..17. The mask is
    // black where the image shows and white where the background stays.
    Surface* ship = CreateSurface(18, 18);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 18; ++x) {
            const bool body = x >= 4 && x < 14;
            SetPixel(ship, x, y, body ? kYellow : 0);
            SetPixel(ship, x, y + 9, body ? 0 : kWhite);
        }
    Surface* field = CreateSurface(30, 20);
    FillSurface(field, 0x405060);
    BitBlt(field, 5, 3, 18, 9, ship, 0, 9, SRCAND);
    BitBlt(field, 5, 3, 18, 9, ship, 0, 0, SRCPAINT);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) {
            const bool body = y >= 3 && y < 12 && x >= 9 && x < 19;
            ASSERT_EQ(GetPixel(field, x, y), body ? kYellow : 0x405060u) << x << "," << y;
        }
    DestroySurface(ship);
    DestroySurface(field);
}

TEST(BitBlt, OverlappingCopyWithinOneSurface) {
    Surface* s = NumberedSurface(10, 1);
    std::vector<uint32_t> before(s->pixels, s->pixels + 10);
    BitBlt(s, 2, 0, 8, 1, s, 0, 0, SRCCOPY);
    for (int x = 2; x < 10; ++x) EXPECT_EQ(GetPixel(s, x, 0), before[x - 2]);
    DestroySurface(s);
}

TEST(Pixels, OutsideReadsAsRockAndWritesNothing) {
    Surface* s = CreateSurface(4, 3);
    for (auto [x, y] : {std::pair{-1, 0}, {4, 0}, {0, -1}, {0, 3}, {-100000, 100000}}) {
        EXPECT_NE(GetPixel(s, x, y), 0u);
        SetPixel(s, x, y, kRed);
    }
    for (int i = 0; i < 12; ++i) EXPECT_EQ(s->pixels[i], 0u);
    EXPECT_NE(GetPixel(nullptr, 0, 0), 0u);
    SetPixel(nullptr, 0, 0, kRed);  // an empty slot takes no marks
    SetPixel(s, 3, 2, 0xFF00FF00u);  // only 24 bits of colour are kept
    EXPECT_EQ(GetPixel(s, 3, 2), 0x00FF00u);
    SetPixel(s, 0, 0, 0);
    EXPECT_EQ(GetPixel(s, 0, 0), 0u);
    DestroySurface(s);
}

TEST(Surfaces, AbsurdSizesAreRefused) {
    EXPECT_EQ(CreateSurface(0, 10), nullptr);
    EXPECT_EQ(CreateSurface(10, -1), nullptr);
    EXPECT_EQ(CreateSurface(70000, 1), nullptr);
    EXPECT_EQ(CreateSurface(65536, 65536), nullptr);
    DestroySurface(nullptr);
}

class LineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetGameState();
        std::string error;
        ASSERT_TRUE(InitPlayField(&error)) << error;
        MainField.backColor = 0;
        Cls();
    }
    int CountLit() const {
        int n = 0;
        for (int y = 0; y < kFieldHeight; ++y)
            for (int x = 0; x < kFieldWidth; ++x) n += GetPixel(MainField.image, x, y) != 0;
        return n;
    }
};

TEST_F(LineTest, WidthOneLeavesOutTheEndPoint) {
    MainField.drawWidth = 1;
    Line(0, 200, 600, 200, kLightBlue);
    for (int x = 0; x < kFieldWidth; ++x) ASSERT_EQ(GetPixel(MainField.image, x, 200), kLightBlue);
    EXPECT_EQ(CountLit(), 600);
    Cls();
    Line(0, 96, 320, 96, kLightBlue);
    EXPECT_EQ(GetPixel(MainField.image, 319, 96), kLightBlue);
    EXPECT_EQ(GetPixel(MainField.image, 320, 96), 0u);
    EXPECT_EQ(CountLit(), 320);
    Cls();
    Line(10, 10, 20, 20, kRed);  // a diagonal: one pixel per step
    for (int i = 0; i < 10; ++i) EXPECT_EQ(GetPixel(MainField.image, 10 + i, 10 + i), kRed);
    EXPECT_EQ(CountLit(), 10);
}

TEST_F(LineTest, WidthTwoCoversTheRowBefore) {
    MainField.drawWidth = 2;
    Line(320, 0, 320, 216, kLightBlue);
    for (int y = 0; y < kFieldHeight; ++y) {
        ASSERT_EQ(GetPixel(MainField.image, 319, y), kLightBlue) << y;
        ASSERT_EQ(GetPixel(MainField.image, 320, y), kLightBlue) << y;
    }
    EXPECT_EQ(CountLit(), 2 * kFieldHeight);
    Cls();
    Line(0, 0, 5, 0, kRed);  // the pen row above the field is clipped away
    EXPECT_EQ(CountLit(), 5);
}

TEST_F(LineTest, ClsClearsToTheBackgroundColour) {
    MainField.backColor = kBlue;
    Cls();
    for (int y = 0; y < kFieldHeight; y += 7)
        for (int x = 0; x < kFieldWidth; x += 7) ASSERT_EQ(GetPixel(MainField.image, x, y), kBlue);
}

}  // namespace
