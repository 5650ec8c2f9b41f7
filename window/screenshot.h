// F12: the play field as shown, saved as a PNG file off the frame loop.
// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// Screenshots go to `folder`, made when the first is taken. Allocates the
// one copy of the field that a shot is taken into.
void StartScreenshots(const std::string& folder);

// Copies the field and hands it to the writer thread, which saves it as
// quillrun-YYYYMMDD-HHMMSS.png in the folder (local time; "-2", "-3", ...
// added when a shot of that second exists). A note over the window says
// "Screenshot saved: NAME", or "Screenshot not saved" with one line on
// standard error; the game goes on. Nothing is allocated here but the name.
void TakeScreenshot();

// Waits for a shot being written and ends the writer; before the program
// ends.
void FinishScreenshots();
