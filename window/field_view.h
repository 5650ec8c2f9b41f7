// The game window and how the play field is shown in it: scaled by the
// largest whole factor that fits, centred on a black border, and presented
// only when it changed.
// SPDX-License-Identifier: MIT
#pragma once

// Creates the window (hidden until PlatformShowWindow) and what draws into
// it. False with a reason on failure.
bool CreateGameWindow(const char** error);

// Shows the play field; does nothing when the window shows that field
// already.
void PresentField();

// Shows the field again even when it has not changed: after the window was
// resized, uncovered or switched to or from fullscreen.
void RepaintField();
