// The keyboard's repeat delay and interval, read from the X server, for the
// held pad directions. Apart because X11's headers define common words.
// SPDX-License-Identifier: MIT
#include <SDL.h>
#include <SDL_syswm.h>

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/XKBlib.h>
#endif

#include "window/gamepad.h"
#include "window/sdl_window.h"

void TakeKeyboardRepeat() {
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(sdlWindow.window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    unsigned int delay = 0, interval = 0;
    if (XkbGetAutoRepeatRate(info.info.x11.display, XkbUseCoreKbd, &delay, &interval)) {
        SetGamepadRepeat(static_cast<int>(delay), static_cast<int>(interval));
    }
#endif
}
