// Start-up, the frame loop and its pacing, and closing the window.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// The window's load handler: shows the window and runs MainLoop.
[[noreturn]] void OnLoad();

// Never returns; the program ends inside an event dispatch.
[[noreturn]] void MainLoop();

// One frame of a run that is not paused: scroll, cave gauge and score, ship
// motion and collisions, the end of the run when the shield drops below 0,
// and the recording of the step's keys and of the frame.
void FlyFrame();

// Waits for the frame deadline, then sets the next one 14.5 ms (or 45 ms in
// slow replay) later; counts frames per second.
void PaceFrame();

// The window's unload handler.
[[noreturn]] void OnUnload();

// The next deadline after reading t: t + 14.5 rounded halves-to-even, in
// 32-bit wrap-around arithmetic.
int32_t NextFrameDeadline(int32_t t);
