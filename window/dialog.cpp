// The in-window dialog panel and its modal event loop.
// SPDX-License-Identifier: MIT
#include "window/dialog.h"

#include <algorithm>
#include <cstring>

#include "gfx/field_text.h"
#include "gfx/play_field.h"
#include "platform/platform.h"
#include "window/gamepad.h"
#include "window/field_view.h"
#include "window/sdl_window.h"
#include "window/test_pad.h"

namespace {
constexpr int kTextW = kDialogW - 2 * kDialogPad;

int Width(const std::string& s) { return TextWidth(s.data(), static_cast<int>(s.size())); }

void DrawButton(Surface* field, int x, int y, const char* label, bool isDefault) {
    FillBox(field, x, y, kDialogButtonW, kDialogButtonH, kDialogTitleColour);
    FrameBox(field, x, y, kDialogButtonW, kDialogButtonH, isDefault ? kWhite : kLightBlue);
    SetDialogFont(8, true, kWhite);
    const int len = static_cast<int>(std::strlen(label));
    TextOutA(field, x + (kDialogButtonW - TextWidth(label, len)) / 2, y + 3, label, len);
}

SDL_Keysym KeyOf(SDL_Keycode sym) {
    SDL_Keysym k{};
    k.sym = sym;
    k.scancode = SDL_GetScancodeFromKey(sym);
    return k;
}
}  // namespace

void FillBox(Surface* s, int x, int y, int w, int h, uint32_t colour) {
    const int x0 = std::max(0, x), y0 = std::max(0, y);
    const int x1 = std::min(s->width, x + w), y1 = std::min(s->height, y + h);
    for (int yy = y0; yy < y1; ++yy)
        for (int xx = x0; xx < x1; ++xx) s->pixels[yy * s->width + xx] = colour;
}

void FrameBox(Surface* s, int x, int y, int w, int h, uint32_t colour) {
    FillBox(s, x, y, w, 1, colour);
    FillBox(s, x, y + h - 1, w, 1, colour);
    FillBox(s, x, y, 1, h, colour);
    FillBox(s, x + w - 1, y, 1, h, colour);
}

void SetDialogFont(int size, bool bold, uint32_t colour) {
    MainField.fontName = FONT_ARIAL;
    MainField.fontSize = size;
    MainField.fontBold = bold;
    MainField.foreColor = colour;
}

std::vector<std::string> BreakDialogText(const std::string& text, int maxLines) {
    const PictureBox savedProps = MainField;
    SetDialogFont(10, false, kPaleBlueWhite);
    std::vector<std::string> lines;
    bool cut = false;
    size_t i = 0;
    while (i <= text.size() && !cut) {
        // One paragraph: up to the next line end.
        size_t end = text.find_first_of("\r\n", i);
        if (end == std::string::npos) end = text.size();
        const std::string para = text.substr(i, end - i);
        std::string line;
        size_t p = 0;
        do {
            size_t wordEnd = para.find(' ', p);
            if (wordEnd == std::string::npos) wordEnd = para.size();
            std::string word = para.substr(p, wordEnd - p);
            std::string candidate = line.empty() ? word : line + " " + word;
            if (!line.empty() && Width(candidate) > kTextW) {
                lines.push_back(line);
                candidate = word;
            }
            // A word wider than a line is split where it overflows.
            while (Width(candidate) > kTextW && candidate.size() > 1) {
                size_t n = candidate.size() - 1;
                while (n > 1 && Width(candidate.substr(0, n)) > kTextW) --n;
                lines.push_back(candidate.substr(0, n));
                candidate = candidate.substr(n);
            }
            line = candidate;
            p = wordEnd + 1;
        } while (p <= para.size());
        lines.push_back(line);
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
        i = end + 1;
        if (static_cast<int>(lines.size()) > maxLines) cut = true;
    }
    if (static_cast<int>(lines.size()) > maxLines) {
        lines.resize(maxLines);
        std::string& last = lines.back();
        while (!last.empty() && Width(last + "...") > kTextW) last.pop_back();
        last += "...";
    }
    MainField = savedProps;
    return lines;
}

void LayOutDialog(DialogPanel* panel) {
    const int n = static_cast<int>(panel->lines.size());
    const int body = panel->bodyH > 0 ? panel->bodyH + kDialogPad : 0;
    panel->height = kDialogTitleH + kDialogPad + n * kDialogLineH + kDialogPad + body + kDialogButtonH + kDialogPad;
    panel->y = std::max(0, (kFieldHeight - panel->height) / 2);
    panel->bodyY = panel->y + kDialogTitleH + kDialogPad + n * kDialogLineH + kDialogPad;
    panel->buttonY = panel->bodyY + body;
}

void DrawDialogPanel(const DialogPanel& panel, const std::vector<uint32_t>& background) {
    Surface* field = MainField.image;
    // The game's picture stays visible, dimmed, behind the dialog.
    for (size_t i = 0; i < background.size(); ++i) field->pixels[i] = (background[i] >> 1) & 0x7F7F7F;
    FillBox(field, kDialogX, panel.y, kDialogW, panel.height, kDialogPanelColour);
    FillBox(field, kDialogX, panel.y, kDialogW, kDialogTitleH, kDialogTitleColour);
    FrameBox(field, kDialogX, panel.y, kDialogW, panel.height, kLightBlue);
    SetDialogFont(10, true, kWhite);
    TextOutA(field, kDialogX + 6, panel.y + 2, panel.caption);
    SetDialogFont(10, false, kPaleBlueWhite);
    int y = panel.y + kDialogTitleH + kDialogPad;
    for (const std::string& line : panel.lines) {
        TextOutA(field, kDialogX + kDialogPad, y, line);
        y += kDialogLineH;
    }
    const int count = static_cast<int>(panel.buttons.size());
    int x = kDialogX + kDialogW - kDialogPad - count * kDialogButtonW - (count - 1) * kDialogPad;
    for (int b = 0; b < count; ++b) {
        DrawButton(field, x, panel.buttonY, panel.buttons[b], b == 0);
        x += kDialogButtonW + kDialogPad;
    }
}

bool DialogPossible() { return MainField.image != nullptr && sdlWindow.window != nullptr; }

bool RunDialog(const DialogHandlers& handlers) {
    if (!DialogPossible()) return false;
    // A box raised during start-up comes before the game shows its window.
    if ((SDL_GetWindowFlags(sdlWindow.window) & SDL_WINDOW_HIDDEN) != 0) PlatformShowWindow();
    Surface* field = MainField.image;
    const PictureBox savedProps = MainField;
    const std::vector<uint32_t> saved(field->pixels, field->pixels + field->width * field->height);

    // Key-ups the game is owed for keys it saw go down; delivered at its next
    // event dispatch, never while the dialog is open.
    std::vector<SDL_Event> owedKeyUps;
    bool quitRequested = false;
    bool accepted = false;

    if (handlers.text) {
        SDL_Rect area = handlers.textArea;
        SDL_SetTextInputRect(&area);
        SDL_StartTextInput();
    }
    handlers.draw(saved);
    PresentField();
    for (bool open = true; open;) {
        PresentField();  // a screenshot's note comes and goes meanwhile
        FeedTestPad();
        SDL_Event event;
        if (!SDL_WaitEventTimeout(&event, 50)) continue;
        if (IsCloseRequest(event)) {
            // Closing the window cancels the dialog; the game closes at its
            // next event dispatch.
            quitRequested = true;
            break;
        }
        if (HandleWindowEvent(event)) continue;
        DialogStep step = DialogStep::KEEP;
        const PadCommand pad = GamepadDialogEvent(event);
        if (pad == PadCommand::ACCEPT) {
            step = handlers.key(KeyOf(SDLK_RETURN));
        } else if (pad == PadCommand::CANCEL) {
            step = handlers.key(KeyOf(SDLK_ESCAPE));
        } else if (event.type == SDL_KEYUP && GameHoldsKey(event.key.keysym.scancode)) {
            owedKeyUps.push_back(event);
        } else if (event.type == SDL_KEYDOWN) {
            step = handlers.key(event.key.keysym);
        } else if (event.type == SDL_TEXTINPUT && handlers.text) {
            step = handlers.text(event.text.text);
        }
        switch (step) {
            case DialogStep::ACCEPT: accepted = true; open = false; break;
            case DialogStep::CANCEL: open = false; break;
            case DialogStep::REDRAW:
                handlers.draw(saved);
                PresentField();
                break;
            case DialogStep::KEEP: break;
        }
    }
    if (handlers.text) SDL_StopTextInput();

    // Keys typed while the dialog was open are dropped before it is seen to
    // close: a key pressed once the game shows again reaches the game.
    DropQueuedKeyPresses();
    std::copy(saved.begin(), saved.end(), field->pixels);
    MainField = savedProps;
    PresentField();
    for (SDL_Event& e : owedKeyUps) SDL_PushEvent(&e);
    if (quitRequested) {
        SDL_Event quit{};
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
    }
    return accepted;
}
