// Looking at the play field after a screen was drawn: counts and extents of
// exact colours in boxes, and texts drawn by the font layer onto a scratch
// surface to compare against.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "platform/headless/headless.h"
#include "shell/game_state.h"

namespace probe {

// Half-open box: x0 <= x < x1, y0 <= y < y1, clipped to the surface.
struct Box {
    int x0, y0, x1, y1;
};

inline uint32_t At(const Surface* s, int x, int y) { return s->pixels[static_cast<size_t>(y) * s->width + x]; }

template <typename F>
void ForEach(const Surface* s, Box b, F f) {
    for (int y = b.y0 < 0 ? 0 : b.y0; y < b.y1 && y < s->height; ++y)
        for (int x = b.x0 < 0 ? 0 : b.x0; x < b.x1 && x < s->width; ++x) f(x, y, At(s, x, y));
}

inline int Count(uint32_t colour, Box b, const Surface* s = MainField.image) {
    int n = 0;
    ForEach(s, b, [&](int, int, uint32_t c) { n += c == colour; });
    return n;
}

// Extreme column or row holding the colour, -1 when there is none.
inline int MaxX(uint32_t colour, Box b, const Surface* s = MainField.image) {
    int m = -1;
    ForEach(s, b, [&](int x, int, uint32_t c) { if (c == colour && x > m) m = x; });
    return m;
}
inline int MinY(uint32_t colour, Box b, const Surface* s = MainField.image) {
    int m = -1;
    ForEach(s, b, [&](int, int y, uint32_t c) { if (c == colour && (m < 0 || y < m)) m = y; });
    return m;
}
inline int MaxY(uint32_t colour, Box b, const Surface* s = MainField.image) {
    int m = -1;
    ForEach(s, b, [&](int, int y, uint32_t c) { if (c == colour && y > m) m = y; });
    return m;
}

// Fresh state, a cleared field with the fonts open, random stream seed 1.
inline void PrepareField() {
    ResetGameState();
    HeadlessReset();
    std::string error;
    ASSERT_TRUE(InitPlayField(&error)) << error;
    FillSurface(MainField.image, 0);
}

// Advance width of a text in a given style; the field's style is restored.
inline int WidthOf(const std::string& text, int size, bool bold) {
    PictureBox saved = MainField;
    MainField.fontSize = size;
    MainField.fontBold = bold;
    int w = TextWidth(text.data(), static_cast<int>(text.size()));
    MainField = saved;
    return w;
}

// The text drawn alone on a black 600 x 216 surface in the given style.
struct Reference {
    Surface* surface;
    explicit Reference(const std::string& text, int x, int y, int size, bool bold, uint32_t colour)
        : surface(CreateSurface(kFieldWidth, kFieldHeight)) {
        Add(text, x, y, size, bold, colour);
    }
    void Add(const std::string& text, int x, int y, int size, bool bold, uint32_t colour) {
        PictureBox saved = MainField;
        MainField.fontSize = size;
        MainField.fontBold = bold;
        MainField.foreColor = colour;
        TextOutA(surface, x, y, text.data(), static_cast<int>(text.size()));
        MainField = saved;
    }
    ~Reference() { DestroySurface(surface); }
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;
};

// Where one surface shows `colour` inside the box, the other does too, and
// nowhere else; rows listed in `skipRows` are not compared.
inline ::testing::AssertionResult SameInk(const Surface* field, const Surface* reference, uint32_t colour, Box b,
                                          std::initializer_list<int> skipRows = {}) {
    int diff = 0, ink = 0, fx = -1, fy = -1;
    ForEach(field, b, [&](int x, int y, uint32_t c) {
        for (int r : skipRows)
            if (r == y) return;
        bool a = c == colour;
        bool r = At(reference, x, y) == colour;
        ink += r;
        if (a != r) {
            if (diff == 0) { fx = x; fy = y; }
            ++diff;
        }
    });
    if (ink == 0) return ::testing::AssertionFailure() << "reference text has no ink in the box";
    if (diff == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << diff << " pixels differ, first at (" << fx << ", " << fy << ")";
}

}  // namespace probe
