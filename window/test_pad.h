// A pad for the window tests: SDL's virtual joystick, worked by commands
// appended to the file named by QUILLRUN_TEST_PAD. Inert when it is unset.
// SPDX-License-Identifier: MIT
#pragma once

// Reads the commands added to the file since the last call and carries
// them out; one line each:
//   attach | detach | button NAME down|up | axis NAME VALUE
// with SDL's names of game-controller buttons and axes ("a", "dpup",
// "leftx", "lefttrigger", ...). Called at every event dispatch.
void FeedTestPad();
