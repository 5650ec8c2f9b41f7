// Controls of the headless platform, for the driver and for in-process tests.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// Back to the start: virtual clock at 1,000,000 ms, dispatch count 0, no
// queued answers, no hook, no recorded messages or addresses, no message
// echo, random source seeded 1.
void HeadlessReset();

// Called at every dispatch with its number (1, 2, ...), before any key event
// of that dispatch. In-process tests press keys from here with
// OnKeyDown/OnKeyUp, or end the program with PlatformEndProgram.
// Without a hook, the first dispatch ends the program (ProgramEnded, status
// 0), so a test that forgets one cannot hang in the frame loop.
void HeadlessSetDispatchHook(std::function<void(long dispatch)> hook);

// Answers for the next modal dialogs, in order. A text-input dialog without
// a queued answer is cancelled; a Yes/No box without one is answered No.
// An answer that the window's dialog would not take, as it begins or ends in
// a character its rules refuse there, is passed over like a refused try
// (the echo shows "refused: " + answer) and the next answer is taken.
void HeadlessQueueDialogAnswer(const std::string& utf8Text);
void HeadlessQueueDialogCancel();
void HeadlessQueueConfirm(bool yes);

// Every message box and dialog shown so far, as "<caption>: <text>" with CR
// LF written as \n (the driver also prints them as "message: " + this).
// Caption and text are converted from the game's code page to UTF-8; a lone
// CR or LF is written as \n too, so each entry is one line. A text-input
// dialog is recorded with its prompt as the text.
const std::vector<std::string>& HeadlessMessages();

// When set, every message is also written to `out` as "message: " + entry +
// newline, flushed at once. nullptr (the default) writes nothing.
void HeadlessSetMessageEcho(std::FILE* out);

// Every address given to PlatformOpenUrl so far, in order.
const std::vector<std::string>& HeadlessOpenedUrls();

long HeadlessDispatchCount();
int32_t HeadlessClock();

// Moves the virtual clock to a reading, e.g. just before the 2^31 ms wrap.
void HeadlessSetClock(int32_t ms);

// Outcomes of the next web pages opened, in order; one without a queued
// outcome opens. A page that does not open is written to the message echo as
// "open failed: " + url.
void HeadlessQueueOpenResult(bool opened);

// When set, the sounds the game would play are written to `out`, one line
// each: "sound: <dispatch> <name> <strength>" for a sound played once,
// "sound: <dispatch> <name> start|stop" when a loop begins or ends. The
// dispatch is the one whose trace line shows the cause: the current one for
// a sound of a key event, the next one for a sound of the frame's work.
// While the sound is off nothing is written and the loops stop.
void HeadlessSetSoundEcho(std::FILE* out);
