// The frame pacer's wait in the window build: a busy wait by default, or on
// request one that sleeps most of the time and ends on the same reading.
// SPDX-License-Identifier: MIT
#pragma once

// With `on`, PlatformWaitTickAfter sleeps until about 2 ms before the
// deadline and then polls the tick counter on each millisecond, so that it
// still returns the first reading past the deadline; the processor is spared.
void SetLowPowerPacing(bool on);

// When QUILLRUN_PACING_LOG names a file, the pacer counts how far apart its
// waits end (frame intervals) and how far past the deadline; this writes
// the counts there. Inert when it is unset.
void WritePacingLog();
