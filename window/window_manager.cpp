// Whether a window manager on the X11 display puts windows into full screen.
// Apart because X11's headers define common words.
// SPDX-License-Identifier: MIT
#include <SDL.h>
#include <SDL_syswm.h>

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#endif

#include "window/sdl_window.h"
#include "window/window_placement.h"

#if defined(SDL_VIDEO_DRIVER_X11)
namespace {
// A window that has gone away is read as an error; it only means "no".
int IgnoreError(Display*, XErrorEvent*) { return 0; }

// The values of a 32-bit list property of `window` of the given type.
template <typename F>
void ReadList(Display* d, Window window, const char* name, Atom type, F&& each) {
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom property = XInternAtom(d, name, False);
    if (XGetWindowProperty(d, window, property, 0, 1024, False, type, &actual, &format, &count, &after, &data) ==
            Success &&
        actual == type && format == 32) {
        // Xlib hands 32-bit items over as longs.
        for (unsigned long i = 0; i < count; ++i) each(reinterpret_cast<unsigned long*>(data)[i]);
    }
    if (data != nullptr) XFree(data);
}

Window NamedWindow(Display* d, Window window) {
    Window named = 0;
    ReadList(d, window, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW, [&](unsigned long v) { named = v; });
    return named;
}
}  // namespace
#endif

bool WindowManagerDoesFullScreen() {
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(sdlWindow.window, &info) || info.subsystem != SDL_SYSWM_X11) return true;
    Display* d = info.info.x11.display;
    const Window root = DefaultRootWindow(d);
    XSync(d, False);
    XErrorHandler previous = XSetErrorHandler(IgnoreError);
    // A running manager names its own window on the root and on that window;
    // one that has ended leaves the root's entry behind.
    const Window wm = NamedWindow(d, root);
    bool offered = false;
    if (wm != 0 && NamedWindow(d, wm) == wm) {
        const Atom full = XInternAtom(d, "_NET_WM_STATE_FULLSCREEN", False);
        ReadList(d, root, "_NET_SUPPORTED", XA_ATOM, [&](unsigned long v) { offered = offered || v == full; });
    }
    XSync(d, False);
    XSetErrorHandler(previous);
    return offered;
#else
    return true;
#endif
}
