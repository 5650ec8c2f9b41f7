// Nothing is allocated per frame: the flight display, the selection screen
// and text in every face, size and weight, once their glyphs are cached.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "base/game_state.h"
#include "gfx/field_text.h"
#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "gfx/text.h"
#include "headless/headless.h"
#include "screens/flight_display.h"
#include "screens/selection_screen.h"
#include "shell/run_start.h"

// Every form is replaced, so that the sanitizers' own operators never pair
// with these.
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

void DrawTexts() {
    static const char* texts[] = {"Score: 834 (+12)", "PAUSED", "||||||||||", "Chance: VERY BIG", "\xC4\xD6\xDC\x80"};
    for (FontFace face : {FONT_ARIAL, FONT_COURIER_NEW})
        for (bool bold : {false, true})
            for (int size : {8, 10, 12, 14, 15, 24, 40})
                for (const char* t : texts) {
                    MainField.fontName = face, MainField.fontSize = size, MainField.fontBold = bold;
                    TextOutA(MainField.image, 3, 200, t, static_cast<int>(std::strlen(t)));
                    TextOutA(MainField.image, -20, -10, t, static_cast<int>(std::strlen(t)));
                }
}

long AllocationsOf50Passes(void (*draw)()) {
    for (int pass = 0; pass < 3; ++pass) draw();  // the first uses fill the glyph caches
    const long before = allocations.load();
    for (int pass = 0; pass < 50; ++pass) {
        gs.thrustDownHeld = kTrue;  // a step on the selection screen
        draw();
    }
    return allocations.load() - before;
}

TEST(Allocation, FlightSelectionAndTextPassesAllocateNothing) {
    ResetGameState();
    HeadlessReset();
    std::string error;
    ASSERT_TRUE(InitPlayField(&error)) << error;
    gs.playing = gs.turboHeld = gs.colliding = gs.paused = kTrue;
    gs.shieldMax = gs.shield = 100, gs.fuel = gs.fuelMax = 200, gs.turboMinShield = 30, gs.shipX = 30;
    gs.selectedMap = 1, gs.mapListRows = 15, gs.score = 1234.5f, gs.bestRun[30] = 1100, gs.lastScore = 321;
    for (int k = 1; k <= 30; ++k)
        gs.maps[k] = MapEntry{"Map.bmp", 900, "A rather long cave name for the row", 900.0f + k, "Somebody long"};
    gs.backgroundSurface = CreateSurface(622, 216);
    EXPECT_EQ(AllocationsOf50Passes(DrawFlightDisplay), 0);
    EXPECT_EQ(AllocationsOf50Passes(DrawSelectionScreen), 0);
    EXPECT_EQ(AllocationsOf50Passes(DrawTexts), 0);
}

}  // namespace
