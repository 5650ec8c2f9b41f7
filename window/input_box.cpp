// The modal text-input dialog, drawn inside the game window over a dimmed
// copy of the play field. The answer is edited in the game's code page, one
// byte per character, and characters the caller's rules refuse are turned
// away as they are typed or pasted, with a hint naming them; so what the
// field shows when OK is pressed is exactly what is returned.
// SPDX-License-Identifier: MIT
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "gfx/field_text.h"
#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "platform/platform.h"
#include "window/dialog.h"
#include "window/sdl_window.h"

namespace {
constexpr int kMaxPromptLines = 6;
constexpr int kEditH = 22;
constexpr uint32_t kSelectColour = 0x802000;
constexpr uint32_t kBlack = 0;

struct Edit {
    std::string text;  // Windows-1252
    size_t caret = 0;
    size_t anchor = 0;  // the selection runs between anchor and caret
    int scroll = 0;     // pixels of the text hidden left of the field
    std::string hint;   // why input was last refused; empty when none was
};

// The code points of UTF-8 text; malformed sequences are skipped.
std::vector<uint32_t> CodePoints(const char* utf8) {
    std::vector<uint32_t> out;
    const std::string text(utf8);
    size_t i = 0;
    uint32_t cp = 0;
    while (i < text.size()) {
        if (NextUtf8(text, &i, &cp)) out.push_back(cp);
    }
    return out;
}

// "The character "º" (U+00BA) ..." in the code page; a character the font
// cannot show is named by its number alone.
std::string Naming(uint32_t cp, const char* what) {
    char number[16];
    std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(cp));
    const int b = UnicodeToCp1252(cp);
    const bool showable = b >= 0x20 && b != 0x7F && !(b >= 0x80 && b < 0xA0 && Cp1252ToUnicode(b) == 0) &&
                          b != 0xA0 && b != 0xAD;
    char text[96];
    if (showable) std::snprintf(text, sizeof text, "The character \"%c\" (%s) %s", b, number, what);
    else std::snprintf(text, sizeof text, "The character %s %s", number, what);
    return text;
}

std::string NamingByte(unsigned char b, const char* what) {
    return Naming(b < 0x80 ? b : Cp1252ToUnicode(b), what);
}

void DrawEditField(Surface* field, Surface* box, Edit& edit, int x, int y) {
    FillSurface(box, kWhite);
    SetDialogFont(10, false, kBlack);
    auto width = [&](size_t from, size_t to) {
        return TextWidth(edit.text.data() + from, static_cast<int>(to - from));
    };
    const size_t selFrom = std::min(edit.anchor, edit.caret), selTo = std::max(edit.anchor, edit.caret);
    const int caretPx = width(0, edit.caret);
    const int inner = box->width - 6;
    if (caretPx - edit.scroll > inner) edit.scroll = caretPx - inner;
    if (caretPx - edit.scroll < 0) edit.scroll = caretPx;
    const int x0 = 3 - edit.scroll, y0 = 3;
    const int fromPx = width(0, selFrom), toPx = width(0, selTo);
    TextOutA(box, x0, y0, edit.text.data(), static_cast<int>(selFrom));
    if (selTo > selFrom) {
        FillBox(box, x0 + fromPx, 2, toPx - fromPx, box->height - 4, kSelectColour);
        MainField.foreColor = kWhite;
        TextOutA(box, x0 + fromPx, y0, edit.text.data() + selFrom, static_cast<int>(selTo - selFrom));
        MainField.foreColor = kBlack;
    } else {
        FillBox(box, x0 + caretPx, 3, 1, box->height - 6, kBlack);
    }
    TextOutA(box, x0 + toPx, y0, edit.text.data() + selTo, static_cast<int>(edit.text.size() - selTo));
    // The edit field is drawn on its own surface first, which clips long text.
    BitBlt(field, x, y, box->width, box->height, box, 0, 0, SRCCOPY);
    FrameBox(field, x - 1, y - 1, box->width + 2, box->height + 2, kLightBlue);
}

// Puts typed or pasted text in place of the selection: the characters the
// rules carry, up to the length limit; the first one turned away is named.
void Insert(Edit& edit, const char* utf8, const InputRules& rules) {
    std::string bytes;
    std::string refusal;
    for (uint32_t cp : CodePoints(utf8)) {
        const int b = UnicodeToCp1252(cp);
        if (b < 0 || !rules.carries(static_cast<unsigned char>(b))) {
            if (refusal.empty()) refusal = Naming(cp, "cannot be stored.");
            continue;
        }
        bytes.push_back(static_cast<char>(b));
    }
    const size_t from = std::min(edit.anchor, edit.caret), to = std::max(edit.anchor, edit.caret);
    const size_t kept = edit.text.size() - (to - from);
    const size_t room = rules.maxBytes > kept ? rules.maxBytes - kept : 0;
    if (bytes.size() > room) {
        bytes.resize(room);
        if (refusal.empty()) refusal = "No more than " + std::to_string(rules.maxBytes) + " characters fit.";
    }
    if (!bytes.empty() || from != to) {
        edit.text.replace(from, to - from, bytes);
        edit.caret = edit.anchor = from + bytes.size();
    }
    // The hint stays until the next character is taken or another refusal
    // replaces it.
    if (!refusal.empty()) {
        edit.hint = refusal;
    } else if (!bytes.empty()) {
        edit.hint.clear();
    }
}

void Erase(Edit& edit) {
    const size_t from = std::min(edit.anchor, edit.caret), to = std::max(edit.anchor, edit.caret);
    edit.text.erase(from, to - from);
    edit.caret = edit.anchor = from;
}

void MoveCaret(Edit& edit, size_t to, bool extend) {
    edit.caret = std::min(to, edit.text.size());
    if (!extend) edit.anchor = edit.caret;
}

// Why the text cannot be taken as it stands; empty when it can.
std::string Objection(const std::string& text, const InputRules& rules) {
    for (char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        if (!rules.carries(b)) return NamingByte(b, "cannot be stored.");
    }
    if (!text.empty()) {
        for (unsigned char b : {static_cast<unsigned char>(text.front()), static_cast<unsigned char>(text.back())})
            if (!rules.carriesAtEnd(b)) return NamingByte(b, "cannot come first or last.");
    }
    return {};
}

DialogStep EditKey(Edit& edit, const SDL_Keysym& key, const InputRules& rules) {
    const bool shift = (key.mod & KMOD_SHIFT) != 0;
    const bool ctrl = (key.mod & KMOD_CTRL) != 0;
    const bool hasSelection = edit.anchor != edit.caret;
    const size_t selFrom = std::min(edit.anchor, edit.caret), selTo = std::max(edit.anchor, edit.caret);
    switch (key.sym) {
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
        {
            const std::string objection = Objection(edit.text, rules);
            if (objection.empty()) return DialogStep::ACCEPT;
            edit.hint = objection;
            return DialogStep::REDRAW;
        }
        case SDLK_ESCAPE: return DialogStep::CANCEL;
        case SDLK_BACKSPACE:
            if (!hasSelection && edit.caret > 0) edit.anchor = edit.caret - 1;
            Erase(edit);
            return DialogStep::REDRAW;
        case SDLK_DELETE:
            if (!hasSelection && edit.caret < edit.text.size()) edit.anchor = edit.caret + 1;
            Erase(edit);
            return DialogStep::REDRAW;
        case SDLK_LEFT:
            if (hasSelection && !shift) MoveCaret(edit, selFrom, false);
            else MoveCaret(edit, edit.caret > 0 ? edit.caret - 1 : 0, shift);
            return DialogStep::REDRAW;
        case SDLK_RIGHT:
            if (hasSelection && !shift) MoveCaret(edit, selTo, false);
            else MoveCaret(edit, edit.caret + 1, shift);
            return DialogStep::REDRAW;
        case SDLK_HOME: MoveCaret(edit, 0, shift); return DialogStep::REDRAW;
        case SDLK_END: MoveCaret(edit, edit.text.size(), shift); return DialogStep::REDRAW;
        default: break;
    }
    if (!ctrl) return DialogStep::KEEP;
    if (key.sym == SDLK_a) {
        edit.anchor = 0;
        edit.caret = edit.text.size();
        return DialogStep::REDRAW;
    }
    if (key.sym == SDLK_c && hasSelection) {
        SDL_SetClipboardText(Cp1252ToUtf8(edit.text.substr(selFrom, selTo - selFrom)).c_str());
        return DialogStep::KEEP;
    }
    if (key.sym == SDLK_v && SDL_HasClipboardText()) {
        char* clip = SDL_GetClipboardText();
        if (clip != nullptr) {
            Insert(edit, clip, rules);
            SDL_free(clip);
        }
        return DialogStep::REDRAW;
    }
    return DialogStep::KEEP;
}
}  // namespace

std::string PlatformInputBox(const std::string& prompt, const std::string& caption,
                             const std::string& defaultAnswer, const InputRules& rules) {
    if (!DialogPossible()) return {};
    DialogPanel panel;
    panel.caption = caption;
    panel.lines = BreakDialogText(prompt, kMaxPromptLines);
    panel.bodyH = kEditH + kDialogPad + kDialogLineH;  // the edit field, then the hint line
    panel.buttons = {"OK", "Cancel"};
    LayOutDialog(&panel);
    const int editX = kDialogX + kDialogPad, editW = kDialogW - 2 * kDialogPad;
    Surface* box = CreateSurface(editW, kEditH);
    if (box == nullptr) return {};

    Edit edit;
    edit.text = defaultAnswer.substr(0, rules.maxBytes);
    edit.anchor = 0;  // the default answer starts selected: typing replaces it
    edit.caret = edit.text.size();

    DialogHandlers handlers;
    handlers.key = [&](const SDL_Keysym& key) { return EditKey(edit, key, rules); };
    handlers.text = [&](const char* utf8) {
        Insert(edit, utf8, rules);
        return DialogStep::REDRAW;
    };
    handlers.draw = [&](const std::vector<uint32_t>& background) {
        Surface* field = MainField.image;
        DrawDialogPanel(panel, background);
        DrawEditField(field, box, edit, editX, panel.bodyY);
        if (!edit.hint.empty()) {
            SetDialogFont(10, false, kYellow);
            TextOutA(field, editX, panel.bodyY + kEditH + kDialogPad - 2, edit.hint);
        }
    };
    handlers.textArea = SDL_Rect{editX, panel.bodyY, editW, kEditH};
    const bool accepted = RunDialog(handlers);
    DestroySurface(box);
    return accepted ? Cp1252ToUtf8(edit.text) : std::string();
}
