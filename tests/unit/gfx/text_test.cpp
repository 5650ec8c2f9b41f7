// Text drawing with the cached fonts: colour, placement, clipping, and that a
// cached text costs no allocation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "base/game_state.h"
#include "gfx/play_field.h"
#include "gfx/text.h"
#include "shell/run_start.h"
#include "test_support.h"

// Counts operator new calls while `countAllocations` is set; malloc/free
// pair up underneath, which the compiler cannot see.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
bool countAllocations = false;
long allocationCount = 0;
}  // namespace
void* operator new(std::size_t n) {
    allocationCount += countAllocations;
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return (allocationCount += countAllocations, std::malloc(n ? n : 1)); }
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

void SetFont(FontFace face, int size, bool bold) {
    MainField.fontName = face;
    MainField.fontSize = size;
    MainField.fontBold = bold;
}

class TextTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetGameState();
        std::string error;
        ASSERT_TRUE(InitPlayField(&error)) << error;
    }
};

TEST_F(TextTest, ForegroundColourOnlyInsideTheTextCellAndClippedAtTheEdges) {
    // Cell height: ascent + descent of Arial (1854 + 434) and Courier New
    // (1705 + 615) per 2048 units, at 96 dpi.
    const struct { FontFace face; int size; bool bold; const char* text; } cases[] = {
        {FONT_ARIAL, 8, false, "Score: 834 (+12)"}, {FONT_ARIAL, 8, true, "Chance: MEDIUM"},
        {FONT_ARIAL, 10, false, "COLLISION"},       {FONT_ARIAL, 12, true, "03) Canyon  725 by Me"},
        {FONT_ARIAL, 15, true, "Thrusters Up: UP"}, {FONT_ARIAL, 24, false, "PRESS ENTER \xC9\x80"},
        {FONT_ARIAL, 40, true, "PAUSED gjy|"},      {FONT_COURIER_NEW, 8, false, "Map07.replay 1234"},
        {FONT_COURIER_NEW, 24, true, "Quillrun v1.21"},
    };
    Surface* page = CreateSurface(1200, 300);
    Surface* small = CreateSurface(60, 30);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        SetFont(c.face, c.size, c.bold);
        MainField.foreColor = 0x1A2B3C;
        FillSurface(page, 0);
        const int x = 37, y = 23, n = static_cast<int>(std::strlen(c.text)), width = TextWidth(c.text, n);
        const double ppem = c.size * 96.0 / 72.0;
        const int bottom = y + static_cast<int>(std::ceil((c.face == FONT_ARIAL ? 1854.0 : 1705.0) * ppem / 2048.0)) +
                           static_cast<int>(std::ceil((c.face == FONT_ARIAL ? 434.0 : 615.0) * ppem / 2048.0));
        TextOutA(page, x, y, c.text, n);
        long lit = 0;
        for (int py = 0; py < page->height; ++py)
            for (int px = 0; px < page->width; ++px) {
                if (GetPixel(page, px, py) == 0) continue;
                ++lit;
                ASSERT_EQ(GetPixel(page, px, py), 0x1A2B3Cu) << px << "," << py;
                ASSERT_TRUE(px >= x && px < x + width && py >= y && py < bottom) << px << "," << py;
            }
        EXPECT_GT(lit, static_cast<long>(n) * c.size / 2);
        EXPECT_LT(lit, static_cast<long>(width) * (bottom - y) / 2);
        // On a small surface crossing each edge: exactly the matching part.
        for (auto [sx, sy] : {std::pair{-30, 5}, {30, 5}, {5, -25}, {5, 10}, {-5000, 5}, {5, 5000}, {-2000000000, 0}}) {
            FillSurface(small, 0);
            TextOutA(small, sx, sy, c.text, n);
            for (int py = 0; py < small->height; ++py)
                for (int px = 0; px < small->width; ++px)  // page reads outside as rock, never the text colour
                    ASSERT_EQ(GetPixel(small, px, py) != 0, GetPixel(page, px - sx + x, py - sy + y) == 0x1A2B3Cu)
                        << sx << "," << sy << ": " << px << "," << py;
        }
    }
    TextOutA(nullptr, 0, 0, "x", 1);
    DestroySurface(page);
    DestroySurface(small);
}

TEST_F(TextTest, DrawingACachedTextAllocatesNothing) {
    const char* texts[] = {"Score: 834 (+12)", "PAUSED", "||||||||||", "Chance: VERY BIG", "\xC4\xD6\xDC\x80"};
    auto drawAll = [&] {
        for (FontFace face : {FONT_ARIAL, FONT_COURIER_NEW})
            for (bool bold : {false, true})
                for (int size : {8, 10, 12, 14, 15, 24, 40})
                    for (const char* t : texts) {
                        SetFont(face, size, bold);
                        TextOutA(MainField.image, 3, 200, t, static_cast<int>(std::strlen(t)));
                        TextOutA(MainField.image, -20, -10, t, static_cast<int>(std::strlen(t)));
                        (void)TextWidth(t, static_cast<int>(std::strlen(t)));
                    }
    };
    drawAll();  // the first use of each font fills its cache
    allocationCount = 0;
    countAllocations = true;
    for (int i = 0; i < 20; ++i) drawAll();
    countAllocations = false;
    EXPECT_EQ(allocationCount, 0);
}

TEST(Fonts, AFaceOfTheWrongFamilyIsNamedInTheError) {
    // A fresh process, whose fontconfig sees only the folder given here.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string dir = testsupport::MakeTempDir("quillrun-fonts"), dejavu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    const bool haveDejavu = testsupport::FileExists(dejavu);
    testsupport::RunCommand("mkdir -p '" + dir + "/fonts'" + (haveDejavu ? " && cp " + dejavu + " '" + dir + "/fonts/'" : ""));
    testsupport::WriteFile(dir + "/fonts.conf", "<?xml version=\"1.0\"?>\n<fontconfig><dir>" + dir +
                                                    "/fonts</dir><cachedir>" + dir + "/cache</cachedir></fontconfig>\n");
    EXPECT_EXIT(
        {
            setenv("FONTCONFIG_FILE", (dir + "/fonts.conf").c_str(), 1);
            std::string error;
            const bool ok = InitFonts(&error);
            std::fprintf(stderr, "%s\n", error.c_str());
            // Without fonts nothing is drawn and nothing breaks.
            Surface* s = CreateSurface(50, 20);
            TextOutA(s, 0, 0, "abc", 3);
            std::exit(!ok && TextWidth("abc", 3) == 0 && GetPixel(s, 5, 10) == 0 ? 3 : 0);
        },
        ::testing::ExitedWithCode(3),
        haveDejavu ? "Font \"Arial\".*\"DejaVu Sans\".*not Arial or Liberation Sans" : "Arial");
    testsupport::RemoveTree(dir);
}

}  // namespace
