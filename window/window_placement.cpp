// The window's opening size, full screen with and without a window manager,
// and the size and state kept in the player's preferences.
// SPDX-License-Identifier: MIT
#include "window/window_placement.h"

#include <SDL.h>

#include <algorithm>

#include "base/geometry.h"
#include "shell/preferences.h"
#include "window/field_view.h"
#include "window/sdl_window.h"

namespace {
// What a window manager's frame (title bar, borders) may take around the
// window, so that the opening size fits the screen with it.
constexpr int kFrameRoomW = 32;
constexpr int kFrameRoomH = 64;

// Full screen made by moving and sizing the window itself, where no window
// manager does it.
bool coveringDisplay = false;
// The window's place and size out of full screen.
SDL_Rect windowed{0, 0, kFieldWidth, kFieldHeight};
// The window values as last read from or written to the preferences.
Preferences kept;

bool InFullScreen() {
    return coveringDisplay || (SDL_GetWindowFlags(sdlWindow.window) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
}

void EnterFullScreen() {
    SDL_Window* w = sdlWindow.window;
    SDL_GetWindowPosition(w, &windowed.x, &windowed.y);
    SDL_GetWindowSize(w, &windowed.w, &windowed.h);
    if (WindowManagerDoesFullScreen()) {
        SDL_SetWindowFullscreen(w, SDL_WINDOW_FULLSCREEN_DESKTOP);
        return;
    }
    // SDL's request would go unanswered: the window would keep its size
    // while SDL drew for the whole display.
    SDL_Rect display{};
    if (SDL_GetDisplayBounds(std::max(0, SDL_GetWindowDisplayIndex(w)), &display) != 0) return;
    coveringDisplay = true;
    SDL_SetWindowPosition(w, display.x, display.y);
    SDL_SetWindowSize(w, display.w, display.h);
    SDL_RaiseWindow(w);
}

void LeaveFullScreen() {
    SDL_Window* w = sdlWindow.window;
    if (!coveringDisplay) {
        SDL_SetWindowFullscreen(w, 0);
        return;
    }
    coveringDisplay = false;
    SDL_SetWindowSize(w, windowed.w, windowed.h);
    SDL_SetWindowPosition(w, windowed.x, windowed.y);
}
}  // namespace

void PlaceGameWindow(int scale, bool fullScreen) {
    SDL_Window* w = sdlWindow.window;
    kept = LoadPreferences();
    SDL_Rect usable{};
    const bool known = SDL_GetDisplayUsableBounds(std::max(0, SDL_GetWindowDisplayIndex(w)), &usable) == 0;
    const bool keptFits = kept.windowWidth > 0 && (!known || (kept.windowWidth <= usable.w &&
                                                              kept.windowHeight <= usable.h));
    if (scale < 1 && keptFits) {
        windowed.w = kept.windowWidth;
        windowed.h = kept.windowHeight;
    } else {
        if (scale < 1) {
            scale = known ? std::min((usable.w - kFrameRoomW) / kFieldWidth, (usable.h - kFrameRoomH) / kFieldHeight)
                          : 1;
        }
        scale = std::max(1, scale);
        windowed.w = kFieldWidth * scale;
        windowed.h = kFieldHeight * scale;
    }
    SDL_SetWindowSize(w, windowed.w, windowed.h);
    SDL_GetWindowSize(w, &windowed.w, &windowed.h);  // as the minimum size left it
    if (known) {
        // Centred; a window larger than the screen keeps its top left corner on it.
        SDL_SetWindowPosition(w, usable.x + std::max(0, (usable.w - windowed.w) / 2),
                              usable.y + std::max(0, (usable.h - windowed.h) / 2));
    }
    if (fullScreen || kept.fullScreen) EnterFullScreen();
}

void ToggleFullScreen() {
    if (InFullScreen()) LeaveFullScreen();
    else EnterFullScreen();
    RepaintField();
    KeepWindowPreferences();
}

void KeepWindowPreferences() {
    if (sdlWindow.window == nullptr) return;
    const bool full = InFullScreen();
    int w = windowed.w, h = windowed.h;
    if (!full) SDL_GetWindowSize(sdlWindow.window, &w, &h);
    if (w == kept.windowWidth && h == kept.windowHeight && full == kept.fullScreen) return;
    // Read again, so that what else the file holds stays as it is now.
    Preferences p = LoadPreferences();
    p.windowWidth = w;
    p.windowHeight = h;
    p.fullScreen = full;
    // A folder that cannot be written keeps the game going without it.
    SavePreferences(p);
    kept = p;
}
