// Counts heap allocations of the whole test program, to show that a screen
// pass allocates nothing once its glyphs are cached.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "field_probe.h"
#include "screens/flight_display.h"
#include "screens/selection_screen.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(ScreenAllocation, FlightPassAllocatesNothing) {
    probe::PrepareField();
    gs.shieldMax = 100;
    gs.shield = 55;
    gs.fuelMax = 200;
    gs.fuel = 120;
    gs.turboMinShield = 30;
    gs.selectedMap = 1;
    gs.maps[1].scoreBest = 900;
    gs.score = 1234.5f;
    gs.narrowBonus = 7.25f;
    gs.turboHeld = kTrue;
    gs.colliding = kTrue;
    gs.paused = kTrue;
    gs.shipX = 40;
    gs.bestRun[40] = 1100;
    for (int pass = 0; pass < 3; ++pass) DrawFlightDisplay();  // fills the glyph cache
    const long before = allocations.load();
    for (int pass = 0; pass < 50; ++pass) DrawFlightDisplay();
    EXPECT_EQ(allocations.load() - before, 0);
}

TEST(ScreenAllocation, SelectionPassAllocatesNothing) {
    probe::PrepareField();
    gs.mapListRows = 15;
    gs.selectedMap = 8;
    gs.lastScore = 321;
    for (int k = 1; k <= 30; ++k) {
        gs.maps[k].file = "Cave.bmp";
        gs.maps[k].name = "A rather long cave name for the row";
        gs.maps[k].scoreBest = static_cast<float>(k * 11);
        gs.maps[k].scoreName = "Somebody with a long name";
    }
    gs.backgroundSurface = CreateSurface(622, 216);
    for (int pass = 0; pass < 3; ++pass) DrawSelectionScreen();
    const long before = allocations.load();
    for (int pass = 0; pass < 50; ++pass) {
        gs.thrustDownHeld = kTrue;
        DrawSelectionScreen();
    }
    EXPECT_EQ(allocations.load() - before, 0);
}

}  // namespace
