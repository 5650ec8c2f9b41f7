// The window's size and place: the size it opens at, full screen on and off
// with or without a window manager, and both kept in the player's
// preferences for the next start.
// SPDX-License-Identifier: MIT
#pragma once

// Sizes and centres the hidden window: `scale` times the play field when
// `scale` is 1 or more (--scale); else the size kept from last time when it
// fits the screen's usable area; else the largest whole scale of the field
// that fits it with room for the window's frame. Then full screen when
// `fullScreen` asks for it or it was on when the game last ended.
void PlaceGameWindow(int scale, bool fullScreen);

// F11: full screen on or off. A window manager that offers full screen is
// asked for it; without one the window itself covers its display and
// returns to its place and size. The new state is kept at once.
void ToggleFullScreen();

// Keeps the window's size out of full screen and whether it is in full
// screen in the preferences, when they differ from what was kept. At a
// change of state and at exit, never per frame.
void KeepWindowPreferences();

// True when a window manager runs that puts windows into full screen on
// request (X11's _NET_WM_STATE_FULLSCREEN); true on other video drivers,
// whose compositor does it.
bool WindowManagerDoesFullScreen();
