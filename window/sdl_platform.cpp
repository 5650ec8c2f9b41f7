// The platform layer of the window build, on SDL2.
// SPDX-License-Identifier: MIT
#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/platform.h"
#include "window/field_view.h"
#include "window/gamepad.h"
#include "window/pacing.h"
#include "window/screenshot.h"
#include "window/sdl_window.h"
#include "window/test_pad.h"
#include "window/window_placement.h"
#include "shell/keyboard.h"
#include "shell/main_loop.h"

SdlWindow sdlWindow;

namespace {
// Keys whose key-down the game has been given, by scancode. A key-up is
// passed on only for these, so a key pressed into a dialog (ESC to cancel
// it) never reaches the game with its release.
bool gameKeyDown[SDL_NUM_SCANCODES];

void HandleKey(const SDL_KeyboardEvent& key) {
    const SDL_Scancode sc = key.keysym.scancode;
    if (sc < 0 || sc >= SDL_NUM_SCANCODES) return;
    const int16_t vk = VirtualKeyOf(key.keysym);
    if (vk == 0) return;
    if (key.type == SDL_KEYDOWN) {
        // Automatic repeats arrive as further key-downs, as on Windows.
        gameKeyDown[sc] = true;
        OnKeyDown(vk);
    } else if (gameKeyDown[sc]) {
        gameKeyDown[sc] = false;
        OnKeyUp(vk);
    }
}

}  // namespace

int16_t VirtualKeyOf(const SDL_Keysym& key) {
    const SDL_Scancode sc = key.scancode;
    // The main-row digits by position, so that layouts whose digit row
    // carries other characters unshifted still give 48..57.
    if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return static_cast<int16_t>(49 + (sc - SDL_SCANCODE_1));
    if (sc == SDL_SCANCODE_0) return 48;
    if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_9) return static_cast<int16_t>(97 + (sc - SDL_SCANCODE_KP_1));
    switch (sc) {
        case SDL_SCANCODE_KP_0: return 96;
        case SDL_SCANCODE_KP_MULTIPLY: return 106;
        case SDL_SCANCODE_KP_PLUS: return 107;
        case SDL_SCANCODE_KP_MINUS: return 109;
        case SDL_SCANCODE_KP_PERIOD: return 110;
        case SDL_SCANCODE_KP_DIVIDE: return 111;
        case SDL_SCANCODE_KP_ENTER: return VK_RETURN;
        default: break;
    }
    const SDL_Keycode kc = key.sym;
    if (kc >= SDLK_a && kc <= SDLK_z) return static_cast<int16_t>('A' + (kc - SDLK_a));
    if (kc >= SDLK_F1 && kc <= SDLK_F12) return static_cast<int16_t>(VK_F1 + (kc - SDLK_F1));
    switch (kc) {
        case SDLK_RETURN: return VK_RETURN;
        case SDLK_ESCAPE: return VK_ESCAPE;
        case SDLK_SPACE: return VK_SPACE;
        case SDLK_BACKSPACE: return 8;
        case SDLK_TAB: return 9;
        case SDLK_LSHIFT: case SDLK_RSHIFT: return VK_SHIFT;
        case SDLK_LCTRL: case SDLK_RCTRL: return VK_CONTROL;
        case SDLK_LALT: case SDLK_RALT: return 18;
        case SDLK_PAUSE: return 19;
        case SDLK_CAPSLOCK: return 20;
        case SDLK_PAGEUP: return 33;
        case SDLK_PAGEDOWN: return 34;
        case SDLK_END: return 35;
        case SDLK_HOME: return 36;
        case SDLK_LEFT: return VK_LEFT;
        case SDLK_UP: return VK_UP;
        case SDLK_RIGHT: return VK_RIGHT;
        case SDLK_DOWN: return VK_DOWN;
        case SDLK_INSERT: return 45;
        case SDLK_DELETE: return 46;
        default: break;
    }
    // Layouts without Latin letters: the letter at that key's position.
    if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return static_cast<int16_t>('A' + (sc - SDL_SCANCODE_A));
    return 0;
}

bool HandleWindowEvent(const SDL_Event& event) {
    if ((event.type == SDL_KEYDOWN || event.type == SDL_KEYUP) && event.key.keysym.sym == SDLK_F11) {
        if (event.type == SDL_KEYDOWN && event.key.repeat == 0) ToggleFullScreen();
        return true;
    }
    if ((event.type == SDL_KEYDOWN || event.type == SDL_KEYUP) && event.key.keysym.sym == SDLK_F12) {
        if (event.type == SDL_KEYDOWN && event.key.repeat == 0) TakeScreenshot();
        return true;
    }
    if (event.type == SDL_WINDOWEVENT) {
        switch (event.window.event) {
            case SDL_WINDOWEVENT_SIZE_CHANGED:
            case SDL_WINDOWEVENT_EXPOSED:
            case SDL_WINDOWEVENT_RESTORED:
            case SDL_WINDOWEVENT_MAXIMIZED:
                RepaintField();
                return true;
            default: break;
        }
    }
    return false;
}

bool IsCloseRequest(const SDL_Event& event) {
    if (event.type == SDL_QUIT) return true;
    return event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE &&
           event.window.windowID == SDL_GetWindowID(sdlWindow.window);
}

void DropQueuedKeyPresses() {
    SDL_PumpEvents();
    SDL_FlushEvent(SDL_KEYDOWN);
    SDL_FlushEvent(SDL_CONTROLLERBUTTONDOWN);
    SDL_FlushEvent(SDL_TEXTINPUT);
    SDL_FlushEvent(SDL_TEXTEDITING);
}

bool GameHoldsKey(SDL_Scancode scancode) {
    return scancode >= 0 && scancode < SDL_NUM_SCANCODES && gameKeyDown[scancode];
}

void PlatformSleep(int32_t milliseconds) {
    if (milliseconds > 0) SDL_Delay(static_cast<Uint32>(milliseconds));
}

void PlatformDispatchEvents() {
    PresentField();
    FeedTestPad();
    GamepadCatchUp();
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (IsCloseRequest(event)) OnUnload();
        if (HandleWindowEvent(event)) continue;
        if (event.type == SDL_KEYDOWN || event.type == SDL_KEYUP) HandleKey(event.key);
        else GamepadGameEvent(event);
    }
}

void PlatformPresent() { PresentField(); }

void PlatformShowWindow() {
    SDL_ShowWindow(sdlWindow.window);
    SDL_RaiseWindow(sdlWindow.window);
    RepaintField();
}

void PlatformEndProgram(int status) {
    FinishScreenshots();
    WritePacingLog();
    KeepWindowPreferences();
    SDL_Quit();
    std::exit(status);
}

void WithoutLibraryNoise(void (*work)()) {
    const int savedErr = ::dup(2);
    const int devNull = savedErr >= 0 ? ::open("/dev/null", O_WRONLY | O_CLOEXEC) : -1;
    if (devNull >= 0) ::dup2(devNull, 2);
    work();
    if (devNull >= 0) {
        ::dup2(savedErr, 2);
        ::close(devNull);
    }
    if (savedErr >= 0) ::close(savedErr);
}
