// The message boxes, drawn inside the game window like the name dialog:
// OK, or Yes and No. Keyboard: ENTER or SPACE is OK/Yes, ESC is Cancel/No,
// Y and N answer a question; the pad's A and B do the same.
// SPDX-License-Identifier: MIT
#include <SDL.h>

#include <cstdio>

#include "base/codepage.h"
#include "platform/platform.h"
#include "window/dialog.h"

namespace {
constexpr int kMaxLines = 9;  // what fits the field's 216 rows

// Shows a box with one or two buttons; true for the first (OK, Yes).
bool ShowBox(const std::string& text, const std::string& caption, bool question) {
    DialogPanel panel;
    panel.caption = caption;
    panel.lines = BreakDialogText(text, kMaxLines);
    if (question) panel.buttons = {"Yes", "No"};
    else panel.buttons = {"OK"};
    LayOutDialog(&panel);

    DialogHandlers handlers;
    handlers.key = [question](const SDL_Keysym& key) {
        switch (key.sym) {
            case SDLK_RETURN:
            case SDLK_KP_ENTER:
            case SDLK_SPACE: return DialogStep::ACCEPT;
            case SDLK_ESCAPE: return DialogStep::CANCEL;
            case SDLK_y: return question ? DialogStep::ACCEPT : DialogStep::KEEP;
            case SDLK_n: return question ? DialogStep::CANCEL : DialogStep::KEEP;
            default: return DialogStep::KEEP;
        }
    };
    handlers.draw = [&panel](const std::vector<uint32_t>& background) { DrawDialogPanel(panel, background); };
    return RunDialog(handlers);
}

// Without a window the box cannot be drawn; its text goes to standard error.
void Tell(const std::string& text, const std::string& caption, const char* answer) {
    std::fprintf(stderr, "quillrun: %s: %s%s\n", Cp1252ToUtf8(caption).c_str(), Cp1252ToUtf8(text).c_str(), answer);
}
}  // namespace

void PlatformMessageBox(const std::string& text, const std::string& caption) {
    if (DialogPossible()) ShowBox(text, caption, false);
    else Tell(text, caption, "");
}

bool PlatformAskYesNo(const std::string& text, const std::string& caption) {
    if (!DialogPossible()) {
        Tell(text, caption, " (answered No)");
        return false;
    }
    return ShowBox(text, caption, true);
}
