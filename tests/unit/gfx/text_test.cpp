// Text drawing with the cached fonts: placement, colour, clipping, widths,
// and that a cached text costs no allocation.
#include <SDL2/SDL_ttf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "gfx/codepage.h"
#include "gfx/play_field.h"
#include "gfx/text.h"
#include "shell/game_state.h"
#include "test_support.h"

// Counts operator new calls while `countAllocations` is set. The pairs
// below use malloc and free throughout, which the compiler cannot see.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
bool countAllocations = false;
long allocationCount = 0;
}  // namespace

void* operator new(std::size_t size) {
    if (countAllocations) ++allocationCount;
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (countAllocations) ++allocationCount;
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

const char kBar[] = "||||||||||||||||||||||||||||||||||||||||||||||||||";

// Pixel sizes of the faces' ascent and descent at 96 dpi, from the design
// metrics of Arial and Courier New (2048 units per em).
int AscentPx(FontFace face, int points) {
    const double px = points * 96.0 / 72.0;
    return static_cast<int>(std::ceil((face == FONT_ARIAL ? 1854.0 : 1705.0) * px / 2048.0));
}
int DescentPx(FontFace face, int points) {
    const double px = points * 96.0 / 72.0;
    return static_cast<int>(std::ceil((face == FONT_ARIAL ? 434.0 : 615.0) * px / 2048.0));
}

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // inclusive
    long count = 0;
};

// The box around every pixel that differs from `background`.
Box LitBox(const Surface* s, uint32_t background) {
    Box b;
    for (int y = 0; y < s->height; ++y)
        for (int x = 0; x < s->width; ++x)
            if (GetPixel(s, x, y) != background) {
                b.left = std::min(b.left, x);
                b.right = std::max(b.right, x);
                b.top = std::min(b.top, y);
                b.bottom = std::max(b.bottom, y);
                ++b.count;
            }
    return b;
}

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
        MainField.backColor = 0;
        Cls();
        page = CreateSurface(1200, 300);
    }
    void TearDown() override { DestroySurface(page); }
    int Width(const std::string& text) { return TextWidth(text.data(), static_cast<int>(text.size())); }
    Surface* page = nullptr;
};

TEST_F(TextTest, PixelsOfTheForegroundColourOnlyInsideTheTextCell) {
    const struct {
        FontFace face;
        int size;
        bool bold;
        const char* text;
    } cases[] = {
        {FONT_ARIAL, 8, false, "Score: 834 (+12)"},
        {FONT_ARIAL, 8, true, "Chance: MEDIUM"},
        {FONT_ARIAL, 10, false, "COLLISION"},
        {FONT_ARIAL, 12, true, "03) Canyon  725 by Me"},
        {FONT_ARIAL, 14, false, "TO PLAY"},
        {FONT_ARIAL, 15, true, "Thrusters Up: UP or SPACE"},
        {FONT_ARIAL, 24, false, "PRESS ENTER"},
        {FONT_ARIAL, 40, true, "PAUSED"},
        {FONT_COURIER_NEW, 8, false, "Map07.replay 1234"},
        {FONT_COURIER_NEW, 24, true, "Quillrun v1.21"},
    };
    const uint32_t paper = 0x203040;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        SetFont(c.face, c.size, c.bold);
        MainField.foreColor = 0x1A2B3C;
        FillSurface(page, paper);
        const int x = 37, y = 23;
        TextOutA(page, x, y, c.text);
        const int width = Width(c.text);
        const int cellBottom = y + AscentPx(c.face, c.size) + DescentPx(c.face, c.size);  // exclusive
        long lit = 0;
        for (int py = 0; py < page->height; ++py)
            for (int px = 0; px < page->width; ++px) {
                const uint32_t v = GetPixel(page, px, py);
                if (v == paper) continue;
                ++lit;
                ASSERT_EQ(v, 0x1A2B3Cu) << px << "," << py;
                ASSERT_TRUE(px >= x && px < x + width && py >= y && py < cellBottom) << px << "," << py;
            }
        // Enough ink for real letters, and the background shows between them.
        EXPECT_GT(lit, static_cast<long>(std::strlen(c.text)) * c.size / 2);
        EXPECT_LT(lit, static_cast<long>(width) * (cellBottom - y) / 2);
    }
}

TEST_F(TextTest, CellTopIsTheAscentAboveTheBaseline) {
    for (FontFace face : {FONT_ARIAL, FONT_COURIER_NEW}) {
        for (int size : {8, 10, 12, 14, 15, 24, 40}) {
            SCOPED_TRACE(std::to_string(face) + " " + std::to_string(size));
            SetFont(face, size, false);
            MainField.foreColor = kWhite;
            FillSurface(page, 0);
            TextOutA(page, 10, 40, "H");
            const Box b = LitBox(page, 0);
            // 'H' stands on the baseline and reaches most of the ascent.
            EXPECT_EQ(b.bottom, 40 + AscentPx(face, size) - 1);
            EXPECT_GT(b.top, 40);
            EXPECT_LT(b.top, 40 + AscentPx(face, size) / 2);
        }
    }
}

TEST_F(TextTest, RisingAccentsKeepTheBaseline) {
    MainField.foreColor = kWhite;
    for (int size : {8, 12, 24, 40}) {
        SCOPED_TRACE(size);
        SetFont(FONT_ARIAL, size, true);
        FillSurface(page, 0);
        TextOutA(page, 10, 40, "E");
        const Box plain = LitBox(page, 0);
        FillSurface(page, 0);
        TextOutA(page, 10, 40, "\xC9");  // E acute
        const Box accent = LitBox(page, 0);
        EXPECT_EQ(accent.bottom, plain.bottom);
        EXPECT_LT(accent.top, plain.top - 1);
    }
}

// The same text laid out by the font engine in one piece, without kerning,
// must give the same pixels as the glyphs drawn one by one from the cache.
TEST_F(TextTest, MatchesTheFontEngineLayingOutTheWholeText) {
    std::string text = "H";
    for (int b = 0x20; b < 0x100; ++b)
        if (b < 0x7F || b >= 0xA0 || Cp1252ToUnicode(static_cast<unsigned char>(b)) != 0) text += static_cast<char>(b);
    text.erase(text.find('\x7F'), 1);
    // The engine hides the soft hyphen inside a text; drawn alone it is a hyphen.
    text.erase(text.find('\xAD'), 1);
    const std::string utf8 = Cp1252ToUtf8(text);
    ASSERT_EQ(TTF_WasInit() > 0, true);
    const char* patterns[2][2] = {{"Arial", "Arial:bold"}, {"Courier New", "Courier New:bold"}};
    Surface* wide = CreateSurface(7000, 120);
    MainField.foreColor = kWhite;
    for (FontFace face : {FONT_ARIAL, FONT_COURIER_NEW})
        for (bool bold : {false, true}) {
            std::string file;
            ASSERT_EQ(testsupport::RunCommand(std::string("fc-match -f '%{file}' '") + patterns[face][bold] + "'", &file), 0);
            for (int size : {8, 10, 12, 14, 15, 24, 40}) {
                SCOPED_TRACE(file + " " + std::to_string(size));
                TTF_Font* font = TTF_OpenFontDPI(file.c_str(), size, 96, 96);
                ASSERT_NE(font, nullptr);
                TTF_SetFontHinting(font, TTF_HINTING_MONO);
                TTF_SetFontKerning(font, 0);
                SDL_Surface* whole = TTF_RenderUTF8_Solid(font, utf8.c_str(), SDL_Color{255, 255, 255, 255});
                ASSERT_NE(whole, nullptr);
                SetFont(face, size, bold);
                EXPECT_EQ(Width(text), whole->w);
                FillSurface(wide, 0);
                const int x = 0, y = 10;
                TextOutA(wide, x, y, text);
                // The engine's picture starts higher when a glyph rises above the ascent.
                long bestMismatch = -1;
                for (int dy = 0; dy <= 4 && bestMismatch != 0; ++dy) {
                    long mismatch = 0;
                    for (int row = 0; row < wide->height; ++row)
                        for (int col = 0; col < wide->width; ++col) {
                            const int sr = row - y + dy, sc = col - x;
                            bool engine = false;
                            if (sr >= 0 && sr < whole->h && sc < whole->w)
                                engine = static_cast<const uint8_t*>(whole->pixels)[sr * whole->pitch + sc] != 0;
                            mismatch += engine != (GetPixel(wide, col, row) != 0);
                        }
                    if (bestMismatch < 0 || mismatch < bestMismatch) bestMismatch = mismatch;
                }
                EXPECT_EQ(bestMismatch, 0);
                SDL_FreeSurface(whole);
                TTF_CloseFont(font);
            }
        }
    DestroySurface(wide);
}

TEST_F(TextTest, MovingTheOriginMovesThePictureExactly) {
    SetFont(FONT_ARIAL, 24, true);
    MainField.foreColor = kYellow;
    FillSurface(page, 0);
    TextOutA(page, 100, 50, "PRESS ENTER");
    Surface* moved = CreateSurface(1200, 300);
    TextOutA(moved, 101, 57, "PRESS ENTER");
    for (int y = 0; y < 290; ++y)
        for (int x = 0; x < 1190; ++x) ASSERT_EQ(GetPixel(page, x, y), GetPixel(moved, x + 1, y + 7));
    DestroySurface(moved);
}

TEST_F(TextTest, ClippedAtEveryEdgeOfTheSurface) {
    SetFont(FONT_ARIAL, 40, true);
    MainField.foreColor = kRed;
    const std::string text = "PAUSED gjy|";
    FillSurface(page, 0);
    const int refX = 400, refY = 100;
    TextOutA(page, refX, refY, text);
    const Box ref = LitBox(page, 0);
    ASSERT_GT(ref.count, 0);
    // A small surface placed so that the text crosses each of its edges.
    Surface* small = CreateSurface(60, 30);
    const int positions[][2] = {{-30, 5}, {30, 5}, {5, -25}, {5, 10}, {-100, -20}, {40, 20}, {-5000, 5}, {5, 5000}};
    for (const auto& p : positions) {
        SCOPED_TRACE(std::to_string(p[0]) + "," + std::to_string(p[1]));
        FillSurface(small, 0);
        TextOutA(small, p[0], p[1], text);
        for (int y = 0; y < small->height; ++y)
            for (int x = 0; x < small->width; ++x) {
                const int rx = x - p[0] + refX, ry = y - p[1] + refY;
                const uint32_t want = (rx >= 0 && rx < page->width && ry >= 0 && ry < page->height) ? GetPixel(page, rx, ry) : 0;
                ASSERT_EQ(GetPixel(small, x, y), want) << x << "," << y;
            }
    }
    // Far outside on every side: nothing at all, and no crash.
    FillSurface(small, 0);
    for (const auto& p : {std::pair{-2000000000, 0}, {2000000000, 0}, {0, -2000000000}, {0, 2000000000}})
        TextOutA(small, p.first, p.second, text);
    EXPECT_EQ(LitBox(small, 0).count, 0);
    TextOutA(nullptr, 0, 0, text);
    DestroySurface(small);
}

TEST_F(TextTest, BoldIsWiderAndFortyPointIsTaller) {
    const std::string text = "Score: 834 (+12)";
    SetFont(FONT_ARIAL, 8, false);
    const int regular = Width(text);
    SetFont(FONT_ARIAL, 8, true);
    const int bold = Width(text);
    EXPECT_GT(bold, regular);

    MainField.foreColor = kWhite;
    SetFont(FONT_ARIAL, 8, false);
    FillSurface(page, 0);
    TextOutA(page, 0, 0, "PAUSED");
    const Box small = LitBox(page, 0);
    const int smallWidth = Width("PAUSED");
    SetFont(FONT_ARIAL, 40, false);
    FillSurface(page, 0);
    TextOutA(page, 0, 0, "PAUSED");
    const Box large = LitBox(page, 0);
    EXPECT_GT(large.bottom - large.top, 4 * (small.bottom - small.top));
    EXPECT_GT(Width("PAUSED"), 4 * smallWidth);
}

TEST_F(TextTest, TheBarsFitBetweenTheStatusTexts) {
    SetFont(FONT_ARIAL, 8, false);
    const int one = TextWidth(kBar, 1);
    ASSERT_GT(one, 0);
    for (int n = 0; n <= 50; ++n) EXPECT_EQ(TextWidth(kBar, n), n * one);
    // The shield bar at x 40 must end before "Extra Fuel:" at 170, the fuel
    // bar at 227 before the score at 360.
    EXPECT_LE(40 + TextWidth(kBar, 50), 170);
    EXPECT_LE(227 + TextWidth(kBar, 50), 360);
    // Drawing N characters draws N strokes and never reads past the count.
    MainField.foreColor = kBlue;
    for (int n : {0, 1, 14, 50}) {
        FillSurface(page, 0);
        TextOutA(page, 40, 200, kBar, n);
        int strokes = 0;
        bool inStroke = false;
        for (int x = 0; x < page->width; ++x) {
            bool lit = false;
            for (int y = 195; y < 220; ++y) lit = lit || GetPixel(page, x, y) != 0;
            if (lit && !inStroke) ++strokes;
            inStroke = lit;
        }
        EXPECT_EQ(strokes, n);
        const Box b = LitBox(page, 0);
        if (n > 0) {
            EXPECT_LT(b.right, 40 + n * one);
        }
    }
}

TEST_F(TextTest, LengthCountsBytesAndEmptyTextDrawsNothing) {
    SetFont(FONT_ARIAL, 10, false);
    MainField.foreColor = kGreen;
    FillSurface(page, 0);
    TextOutA(page, 5, 5, "Score", 3);
    Surface* other = CreateSurface(1200, 300);
    TextOutA(other, 5, 5, "Sco");
    for (int i = 0; i < 1200 * 300; ++i) ASSERT_EQ(page->pixels[i], other->pixels[i]);
    FillSurface(page, 0);
    TextOutA(page, 5, 5, "Score", 0);
    TextOutA(page, 5, 5, "Score", -4);
    TextOutA(page, 5, 5, nullptr, 5);
    TextOutA(page, 5, 5, std::string());
    EXPECT_EQ(LitBox(page, 0).count, 0);
    EXPECT_EQ(TextWidth("Score", 0), 0);
    EXPECT_EQ(TextWidth("Score", 3), Width("Sco"));
    DestroySurface(other);
}

TEST_F(TextTest, BytesAreWindows1252) {
    SetFont(FONT_ARIAL, 24, false);
    MainField.foreColor = kWhite;
    auto picture = [&](const std::string& s) {
        FillSurface(page, 0);
        TextOutA(page, 10, 10, s);
        return std::string(reinterpret_cast<const char*>(page->pixels), 1200 * 300 * 4);
    };
    const std::string e = picture("e"), eAcute = picture("\xE9"), euro = picture("\x80");
    EXPECT_NE(e, eAcute);
    EXPECT_GT(LitBox(page, 0).count, 20);  // the euro sign has a glyph
    EXPECT_NE(eAcute, euro);
    EXPECT_EQ(Width("\xE9"), Width("e"));  // Arial's e and e acute share their advance
    // Unused codes and control bytes take no room and draw nothing.
    EXPECT_EQ(Width("\x81\x8D\x8F\x90\x9D"), 0);
    EXPECT_EQ(Width(std::string("a\0b", 3)), Width("ab"));
    EXPECT_EQ(picture("\x81\t\r\n"), picture(""));
}

TEST_F(TextTest, CourierIsMonospacedAndArialIsNot) {
    SetFont(FONT_COURIER_NEW, 12, false);
    EXPECT_EQ(Width("iiii"), Width("WWWW"));
    EXPECT_EQ(Width("iiii"), 4 * Width("i"));
    SetFont(FONT_ARIAL, 12, false);
    EXPECT_LT(Width("iiii"), Width("WWWW"));
}

TEST_F(TextTest, SizesOutsideTheSetUseTheNearest) {
    SetFont(FONT_ARIAL, 24, false);
    const int w24 = Width("PRESS ENTER");
    SetFont(FONT_ARIAL, 23, false);
    EXPECT_EQ(Width("PRESS ENTER"), w24);
    SetFont(FONT_ARIAL, 40, false);
    const int w40 = Width("PRESS ENTER");
    SetFont(FONT_ARIAL, 400, false);
    EXPECT_EQ(Width("PRESS ENTER"), w40);
    SetFont(FONT_ARIAL, -5, false);
    MainField.foreColor = kWhite;
    TextOutA(page, 0, 0, "x");  // draws with the smallest size
    EXPECT_GT(LitBox(page, 0).count, 0);
}

TEST_F(TextTest, DrawingACachedTextAllocatesNothing) {
    const char* texts[] = {"Score: 834 (+12)", "PAUSED", kBar, "Chance: VERY BIG", "\xC4\xD6\xDC\x80"};
    auto drawAll = [&] {
        for (FontFace face : {FONT_ARIAL, FONT_COURIER_NEW})
            for (bool bold : {false, true})
                for (int size : {8, 10, 12, 14, 15, 24, 40}) {
                    SetFont(face, size, bold);
                    for (const char* t : texts) {
                        TextOutA(MainField.image, 3, 200, t, static_cast<int>(std::strlen(t)));
                        TextOutA(MainField.image, -20, -10, t, static_cast<int>(std::strlen(t)));
                        (void)TextWidth(t, static_cast<int>(std::strlen(t)));
                    }
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
    // A fresh process: fontconfig sees only the folder given here.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string dir = testsupport::MakeTempDir("quillrun-fonts");
    const char* dejavu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    const bool haveDejavu = testsupport::FileExists(dejavu);
    testsupport::RunCommand("mkdir -p '" + dir + "/fonts'");
    if (haveDejavu) testsupport::RunCommand("cp '" + std::string(dejavu) + "' '" + dir + "/fonts/'");
    testsupport::WriteFile(dir + "/fonts.conf", "<?xml version=\"1.0\"?>\n<fontconfig><dir>" + dir +
                                                    "/fonts</dir><cachedir>" + dir + "/cache</cachedir></fontconfig>\n");
    const std::string pattern = haveDejavu ? "Font \"Arial\".*\"DejaVu Sans\".*not Arial or Liberation Sans" : "Arial";
    EXPECT_EXIT(
        {
            setenv("FONTCONFIG_FILE", (dir + "/fonts.conf").c_str(), 1);
            std::string error;
            const bool ok = InitFonts(&error);
            std::fprintf(stderr, "%s\n", error.c_str());
            // Without fonts nothing is drawn and nothing breaks.
            Surface* s = CreateSurface(50, 20);
            MainField.foreColor = kWhite;
            TextOutA(s, 0, 0, "abc");
            const bool blank = TextWidth("abc", 3) == 0 && GetPixel(s, 5, 10) == 0;
            std::exit(!ok && blank ? 3 : 0);
        },
        ::testing::ExitedWithCode(3), pattern);
    testsupport::RemoveTree(dir);
}

}  // namespace
