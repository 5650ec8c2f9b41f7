// The note over the shown field: posted from any thread, drawn once into a
// picture of its own, laid over a copy of the field while it is up.
// SPDX-License-Identifier: MIT
#include "window/screen_note.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "base/geometry.h"
#include "gfx/surface.h"
#include "gfx/text.h"

namespace {
constexpr Uint64 kShownMs = 2000;
constexpr int kNoteX = 4, kNoteY = 4, kNoteH = 20, kNotePad = 6;
constexpr int kFieldPixels = kFieldWidth * kFieldHeight;
constexpr uint32_t kNoteColour = 0x803010;  // the dialogs' title bar blue

std::mutex mutex;
std::string posted;  // guarded by mutex
std::atomic<bool> waiting{false};

Surface* note = nullptr;  // the panel with its text
int noteW = 0;
Uint64 shownUntil = 0;
Surface* withNote = nullptr;  // the field with the note over it

void DrawNote() {
    const TextStyle style{FONT_ARIAL, 10, true, kWhite};
    std::lock_guard<std::mutex> lock(mutex);
    const int length = static_cast<int>(posted.size());
    noteW = std::min(note->width, GlyphsWidth(style, posted.data(), length) + 2 * kNotePad);
    // A light blue frame around the blue panel.
    FillSurface(note, kLightBlue);
    for (int y = 1; y < kNoteH - 1; ++y) std::fill_n(note->pixels + y * note->width + 1, noteW - 2, kNoteColour);
    DrawGlyphs(note, kNotePad, 2, style, posted.data(), length);
}
}  // namespace

void StartScreenNotes() {
    if (note != nullptr) return;
    note = CreateSurface(kFieldWidth - 2 * kNoteX, kNoteH);
    withNote = CreateSurface(kFieldWidth, kFieldHeight);
}

void PostScreenNote(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex);
    posted = text;
    waiting = true;
}

const uint32_t* FieldWithNote(const uint32_t* field) {
    if (note == nullptr || withNote == nullptr || field == nullptr) return field;
    if (waiting.exchange(false)) {
        DrawNote();
        shownUntil = SDL_GetTicks64() + kShownMs;
    }
    if (SDL_GetTicks64() >= shownUntil) return field;
    std::copy(field, field + kFieldPixels, withNote->pixels);
    BitBlt(withNote, kNoteX, kNoteY, noteW, kNoteH, note, 0, 0, SRCCOPY);
    return withNote->pixels;
}
