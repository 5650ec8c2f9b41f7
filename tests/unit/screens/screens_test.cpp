// The flight display and the selection screen drawn in-process on the
// headless field, checked by exact colours in known boxes and against texts
// drawn alone by the same font layer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>

#include "base/game_state.h"
#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "headless/headless.h"
#include "screens/flight_display.h"
#include "screens/selection_screen.h"
#include "shell/run_start.h"

// Counts the program's heap allocations; every form is replaced, so that
// the sanitizers' own operators never pair with these.
static std::atomic<long> allocations{0};
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
void* operator new(std::size_t size) {
    if (void* p = operator new(size, std::nothrow)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

constexpr int kStatusTop = 201;  // row 200 belongs to the border line
struct Box { int x0, y0, x1, y1; };
uint32_t At(const Surface* s, int x, int y) { return s->pixels[static_cast<size_t>(y) * s->width + x]; }
// Pixels of the colour in the box, and the rightmost column holding it (-1: none).
struct Ink { int count = 0, maxX = -1; };
Ink Find(uint32_t colour, Box b) {
    Ink ink;
    for (int y = b.y0; y < b.y1; ++y)
        for (int x = b.x0; x < b.x1; ++x)
            if (At(MainField.image, x, y) == colour) ink = {ink.count + 1, std::max(ink.maxX, x)};
    return ink;
}
int Count(uint32_t colour, Box b) { return Find(colour, b).count; }

void PrepareField() {
    ResetGameState();
    HeadlessReset();
    std::string error;
    ASSERT_TRUE(InitPlayField(&error)) << error;
    FillSurface(MainField.image, 0);
}

// Runs `f` with the field's text style set; the style is restored after.
// The field's text style, set for the lifetime of this.
struct Style {
    PictureBox saved = MainField;
    Style(int size, bool bold, uint32_t colour) { MainField.fontSize = size, MainField.fontBold = bold, MainField.foreColor = colour; }
    ~Style() { MainField = saved; }
};
int WidthOf(const std::string& t, int size, bool bold) {
    Style style(size, bold, 0);
    return TextWidth(t.data(), static_cast<int>(t.size()));
}

// Texts drawn alone on a black field.
struct Reference {
    std::unique_ptr<Surface, void (*)(Surface*)> s{CreateSurface(kFieldWidth, kFieldHeight), DestroySurface};
    Reference& Add(const std::string& t, int x, int y, int size, bool bold, uint32_t colour) {
        Style style(size, bold, colour);
        TextOutA(s.get(), x, y, t.data(), static_cast<int>(t.size()));
        return *this;
    }
};

// The field shows `colour` in the box exactly where the reference does;
// rows in `skip` are not compared.
testing::AssertionResult SameInk(const Reference& r, uint32_t colour, Box b, std::initializer_list<int> skip = {}) {
    int diff = 0, ink = 0;
    for (int y = b.y0; y < b.y1; ++y)
        for (int x = b.x0; x < b.x1 && std::find(skip.begin(), skip.end(), y) == skip.end(); ++x) {
            bool want = At(r.s.get(), x, y) == colour;
            ink += want;
            diff += want != (At(MainField.image, x, y) == colour);
        }
    if (ink > 0 && diff == 0) return testing::AssertionSuccess();
    return testing::AssertionFailure() << diff << " pixels differ, " << ink << " of ink in the reference";
}

// A run in progress with the start values.
void PrepareRun() {
    PrepareField();
    gs.playing = kTrue;
    gs.shieldMax = gs.shield = 100;
    gs.fuel = gs.fuelMax = 200;
    gs.turboMinShield = 30;
    gs.shipX = 30;
    gs.selectedMap = 1;
    gs.maps[1].file = "Cave.bmp";
}

int BarWidth(int units) { return WidthOf(std::string(static_cast<size_t>(units), '|'), 8, false); }

// A bar drawn from x0 (box up to x1): `units` blue '|' over its background.
void ExpectBar(int x0, int x1, uint32_t background, int units) {
    const Box bar{x0, kStatusTop, x1, kFieldHeight}, rest{x0 + BarWidth(units), kStatusTop, x1, kFieldHeight};
    const int right = Find(kBlue, bar).maxX;
    EXPECT_TRUE(units == 0 ? right == -1 : right >= x0 + BarWidth(units - 1) && right < x0 + BarWidth(units)) << right;
    for (uint32_t other : {kWhite, kYellow, kRed}) EXPECT_TRUE(other == background || Count(other, bar) == 0) << std::hex << other;
    // The background shows right of the fill, unless the fill covers it all.
    EXPECT_EQ(Count(background, units < 50 ? rest : bar) > 0, units < 50);
    EXPECT_EQ(Count(kBlue, rest), 0);
}

TEST(FlightDisplay, BarColoursAndFill) {
    struct Case { float shield, fuel; Flag brake; uint32_t shieldBack; int shieldUnits; uint32_t fuelBack; int fuelUnits; };
    const Case cases[] = {
        {100, 200, 0, kWhite, 50, kWhite, 50},     {29.9f, 200, 0, kYellow, 14, kWhite, 50},
        {9.5f, 200, 0, kRed, 4, kWhite, 50},       {30, 200, 0, kWhite, 15, kWhite, 50},
        {1000, 200, 0, kWhite, 50, kWhite, 50},    // the bar string is never overread
        // Empty tank: no warning even with a weak shield; 2 / 4 rounds down to
        // nothing, 199.5 to 200; 201 after an idle frame.
        {20, 0, 0, kYellow, 10, kWhite, 0},        {100, 2, 0, kWhite, 50, kWhite, 0},
        {100, 199.5f, 0, kWhite, 50, kWhite, 50},  {100, 201, 0, kWhite, 50, kWhite, 50},
        // Warning: red with a weak shield, yellow at the limit with the brake held.
        {20, 100, 0, kYellow, 10, kRed, 25}, {30, 100, kTrue, kWhite, 15, kYellow, 25}, {31, 100, 0, kWhite, 15, kWhite, 25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "shield " << c.shield << " fuel " << c.fuel);
        PrepareRun();
        gs.shield = c.shield;
        gs.fuel = c.fuel;
        gs.brakeHeld = c.brake;
        DrawFlightDisplay();
        ExpectBar(40, 168, c.shieldBack, c.shieldUnits);
        ExpectBar(227, 358, c.fuelBack, c.fuelUnits);
    }
}

TEST(FlightDisplay, ScoreSuffixForms) {
    struct Case { float score, bonus; Flag brake, turbo; const char* text; };
    const Case cases[] = {
        {834.7f, 12, 0, 0, "Score: 834 (+12)"},         {834.7f, 5, kTrue, 0, "Score: 834 (+2)"},
        {834.7f, 5, 0, kTrue, "Score: 834 (+12.5)"},    {834.7f, 5, 0, 0, "Score: 834 (+5)"},
        {834.7f, 5, kTrue, kTrue, "Score: 834 (+2)"},   // brake wins over turbo
        {834.7f, 0, 0, kTrue, "Score: 834"},            {12, -3, 0, 0, "Score: 12"},
        {0, 1, kTrue, 0, "Score: 0 (+0)"},              {99.99f, 0.1f, 0, 0, "Score: 99 (+0.1)"},
        {99.99f, 0.1f, 0, kTrue, "Score: 99 (+0.2500000037252903)"},  // 2.5 times the stored float
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        PrepareRun();
        gs.score = c.score;
        gs.narrowBonus = c.bonus;
        gs.brakeHeld = c.brake;
        gs.turboHeld = c.turbo;
        DrawFlightDisplay();
        EXPECT_TRUE(SameInk(Reference().Add(c.text, 360, 200, 8, false, kYellow), kYellow,
                            {300, kStatusTop, kFieldWidth, kFieldHeight}));
    }
}

// The indicator's text in one colour, found by comparing the drawn ink with
// each candidate; the ink must end within the candidate's drawn width.
std::string IndicatorText(uint32_t colour) {
    const Box box{460, kStatusTop, kFieldWidth, kFieldHeight};
    std::string found = Count(colour, box) == 0 ? "" : "?";
    for (const char* c : {"BROKEN RECORD", "Chance: SMALL", "Chance: MEDIUM", "Chance: BIG", "Chance: VERY BIG",
                          "Losing: SMALL", "Losing: MEDIUM", "Losing: BIG", "Losing: VERY BIG"}) {
        if (found != "" && SameInk(Reference().Add(c, 460, 200, 8, true, colour), colour, box)) {
            found = c;
            EXPECT_LT(Find(colour, box).maxX, 460 + WidthOf(c, 8, true));
        }
    }
    return found;
}

TEST(FlightDisplay, RecordIndicatorColourAndText) {
    // atFloor, atNear: the best run at the whole and at the rounded ship x
    struct Case { float score, best, shipX; int atFloor, atNear; uint32_t colour; std::string text; };
    const Case cases[] = {
        {600.5f, 500, 30, 100, 100, kGreen, "BROKEN RECORD"},
        // 1, 33, 34, 66, 67, 100 and 101 ahead; 1, 34, 67, 101 behind
        {300, 500, 30, 299, 299, kYellow, "Chance: SMALL"},  {300, 500, 30, 267, 267, kYellow, "Chance: SMALL"},
        {300, 500, 30, 266, 266, kYellow, "Chance: MEDIUM"}, {300, 500, 30, 234, 234, kYellow, "Chance: MEDIUM"},
        {300, 500, 30, 233, 233, kYellow, "Chance: BIG"},    {300, 500, 30, 200, 200, kYellow, "Chance: BIG"},
        {300, 500, 30, 199, 199, kYellow, "Chance: VERY BIG"}, {300, 500, 30, 301, 301, kRed, "Losing: SMALL"},
        {300, 500, 30, 334, 334, kRed, "Losing: MEDIUM"},    {300, 500, 30, 367, 367, kRed, "Losing: BIG"},
        {300, 500, 30, 401, 401, kRed, "Losing: VERY BIG"},
        {300.9f, 500, 30, 300, 300, 0, ""}, {300, 0, 30, 100, 100, 0, ""},  // level with the best run; no record yet
        // The record test reads the whole x, the race the rounded x.
        {600, 500, 30.6f, 100, 700, kGreen, "BROKEN RECORD"}, {600, 650, 30.6f, 100, 700, kRed, "Losing: BIG"},
        // Halves round to even: 32.5 reads entry 32, 33.5 entry 34.
        {300, 1000, 32.5f, 250, 250, kYellow, "Chance: MEDIUM"}, {300, 1000, 33.5f, 250, 500, kRed, "Losing: VERY BIG"},
        {5, 500, 30, 0, 0, kYellow, "Chance: SMALL"},  // no entry at x: any score is ahead
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + " at score " + std::to_string(c.score));
        PrepareRun();
        gs.score = c.score;
        gs.maps[1].scoreBest = c.best;
        gs.shipX = c.shipX;
        gs.bestRun[static_cast<int>(std::floor(c.shipX))] = static_cast<int16_t>(c.atFloor);
        gs.bestRun[static_cast<int>(std::nearbyint(c.shipX))] = static_cast<int16_t>(c.atNear);
        DrawFlightDisplay();
        for (uint32_t colour : {kGreen, kYellow, kRed})
            EXPECT_EQ(IndicatorText(colour), colour == c.colour ? c.text : "") << std::hex << colour;
        EXPECT_FALSE(MainField.fontBold);
    }
}

// A catalogue of `count` maps named "Cave <letters>", best scores by "Me".
void PrepareSelection(int count, int selected, int (*score)(int)) {
    PrepareField();
    gs.mapListRows = 15;
    gs.selectedMap = static_cast<int16_t>(selected);
    for (int k = 1; k <= count; ++k) {
        gs.maps[k].file = "Map" + std::to_string(k) + ".bmp";
        gs.maps[k].name = "Cave " + std::string(static_cast<size_t>(k % 5 + 1), static_cast<char>('a' + k % 26));
        gs.maps[k].scoreBest = static_cast<float>(score(k));
        gs.maps[k].scoreName = "Me";
    }
    gs.backgroundSurface = CreateSurface(622, 216);  // black, so no pixel equals a text colour
    MainField.foreColor = kWhite;                     // the title's colour, apart from the list's
}

TEST(SelectionScreen, ListRowsAndScoreColumns) {
    // step: -1 up, +1 down; of the maps drawn, those with a best score show it
    struct Case { int count, selected, step, wantSelected; int (*score)(int); int drawnFrom, drawnTo; };
    auto sevenScores = [](int k) { return k == 1 ? 7 : (k == 3 ? 725 : 0); };
    const Case cases[] = {
        {7, 1, 0, 1, sevenScores, 1, 7},
        {7, 1, -1, 7, sevenScores, 1, 7},  // up wraps to the last map
        {7, 7, +1, 1, sevenScores, 1, 7},  // down wraps to the first
        {30, 10, 0, 10, [](int k) { return 100 + k; }, 4, 25},
        {50, 50, 0, 50, [](int k) { return k; }, 44, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "map " << c.selected << " of " << c.count << " step " << c.step);
        PrepareSelection(c.count, c.selected, c.score);
        (c.step < 0 ? gs.thrustUpHeld : gs.thrustDownHeld) = c.step != 0 ? kTrue : 0;
        DrawSelectionScreen();
        ASSERT_EQ(gs.selectedMap, c.wantSelected);
        EXPECT_EQ(gs.thrustUpHeld | gs.thrustDownHeld, 0);
        EXPECT_EQ(Count(kLightBlue, {0, 0, 319, 23}), 0) << "no row above y = 23";
        // Each slot from six above the selected row to the field's bottom.
        for (int offset = -6; 95 + 12 * offset + 1 < kFieldHeight; ++offset) {
            const int k = gs.selectedMap + offset, y = 95 + 12 * offset;
            SCOPED_TRACE(testing::Message() << "map " << k << " at y " << y);
            const Box box{0, y + 1, 319, y + 12};  // clear of the neighbouring rows and the divider
            if (k < c.drawnFrom || k > c.drawnTo) {  // no ink but the row lines
                EXPECT_EQ(Count(kLightBlue, box), 319 * ((y + 1 <= 96 && 96 < y + 12) + (y + 1 <= 108 && 108 < y + 12)));
                continue;
            }
            const bool selected = k == gs.selectedMap;
            const uint32_t colour = selected ? kPaleBlueWhite : kLightBlue;
            const int best = static_cast<int>(gs.maps[k].scoreBest);
            Reference r;
            r.Add(std::string(k < 10 ? "0" : "") + std::to_string(k) + ") " + gs.maps[k].name, 5, y, 8, selected, colour);
            if (best > 0) r.Add(std::string(best < 10 ? "0" : "") + std::to_string(best) + " by Me", 150, y, 8, selected, colour);
            EXPECT_TRUE(SameInk(r, colour, box, {96, 108}));
        }
    }
}

// Once the glyphs are cached, a pass allocates nothing.
long AllocationsOf50Passes(void (*draw)()) {
    for (int pass = 0; pass < 3; ++pass) draw();
    const long before = allocations.load();
    for (int pass = 0; pass < 50; ++pass) {
        gs.thrustDownHeld = kTrue;  // a step on the selection screen
        draw();
    }
    return allocations.load() - before;
}

TEST(ScreenAllocation, FlightAndSelectionPassesAllocateNothing) {
    PrepareRun();
    gs.maps[1].scoreBest = 900;
    gs.score = 1234.5f;
    gs.turboHeld = gs.colliding = gs.paused = kTrue;
    gs.bestRun[30] = 1100;
    EXPECT_EQ(AllocationsOf50Passes(DrawFlightDisplay), 0);
    PrepareSelection(30, 8, [](int k) { return k * 11; });
    gs.lastScore = 321;
    for (int k = 1; k <= 30; ++k) {
        gs.maps[k].name = "A rather long cave name for the row";
        gs.maps[k].scoreName = "Somebody with a long name";
    }
    EXPECT_EQ(AllocationsOf50Passes(DrawSelectionScreen), 0);
}

}  // namespace
