// The driver's script of key events and dialog answers, parsed without side
// effects so that the driver, tests and the fuzz target share one parser.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

enum class ScriptEventKind { kDown, kUp, kTap, kClose };

struct ScriptEvent {
    long dispatch = 0;
    ScriptEventKind kind = ScriptEventKind::kDown;
    int16_t key = 0;
};

// A `dialog`, `dialog-cancel`, `confirm` or `open` line, in file order.
struct ScriptAnswer {
    enum Kind { kDialogText, kDialogCancel, kConfirm, kOpen } kind = kDialogText;
    std::string text;  // UTF-8, for kDialogText
    bool yes = false;  // for kConfirm; for kOpen: the page opens
};

struct SimScript {
    std::vector<ScriptEvent> events;  // sorted by dispatch, file order within one
    std::vector<ScriptAnswer> answers;
};

// Parses a whole script. On a bad line returns false with `error` set to
// "script line N: what is wrong" (or "cannot read the script").
bool ParseSimScript(std::istream& in, SimScript* script, std::string* error);

// A decimal number without sign of at most `max`; false for anything else.
bool ParseUnsigned(const std::string& text, unsigned long long max, unsigned long long* value);
// A decimal number from 1 to 10^12.
bool ParsePositive(const std::string& text, long* value);
