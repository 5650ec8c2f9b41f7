// The modal text-input dialog, drawn inside the game window over a dimmed
// copy of the play field. The answer is edited in the game's code page, one
// byte per character, so what the field shows is exactly what is returned.
#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_window.h"

namespace {
constexpr int kMaxChars = 254;  // the longest value the settings file reads back
constexpr int kMaxPromptLines = 6;
constexpr int kPanelX = 40, kPanelW = 520;
constexpr int kTitleH = 20, kLineH = 16, kEditH = 22, kButtonW = 72, kButtonH = 20, kPad = 8;

constexpr uint32_t kPanelColour = 0x30180C;
constexpr uint32_t kTitleColour = 0x803010;
constexpr uint32_t kSelectColour = 0x802000;
constexpr uint32_t kBlack = 0;

struct Edit {
    std::string text;  // Windows-1252
    size_t caret = 0;
    size_t anchor = 0;  // the selection runs between anchor and caret
    int scroll = 0;     // pixels of the text hidden left of the field
};

struct Layout {
    std::vector<std::string> lines;
    int panelY = 0, panelH = 0, editX = 0, editY = 0, editW = 0, buttonY = 0;
};

// The Windows-1252 byte of a code point, or -1 when the code page lacks it.
int CodePageByte(uint32_t cp) {
    if (cp < 0x20 || cp == 0x7F) return -1;
    if (cp < 0x80) return static_cast<int>(cp);
    for (int b = 0x80; b <= 0xFF; ++b)
        if (Cp1252ToUnicode(static_cast<unsigned char>(b)) == cp) return b;
    return -1;
}

// Code points of UTF-8 text that the code page can hold, as its bytes.
std::string TypedBytes(const char* utf8) {
    std::string out;
    const auto* s = reinterpret_cast<const unsigned char*>(utf8);
    size_t i = 0;
    while (s[i] != 0) {
        uint32_t cp = s[i];
        int extra = 0;
        if (cp >= 0xF0) { cp &= 0x07; extra = 3; }
        else if (cp >= 0xE0) { cp &= 0x0F; extra = 2; }
        else if (cp >= 0xC0) { cp &= 0x1F; extra = 1; }
        else if (cp >= 0x80) { ++i; continue; }  // stray continuation byte
        ++i;
        bool ok = true;
        for (int k = 0; k < extra; ++k) {
            if ((s[i] & 0xC0) != 0x80) { ok = false; break; }
            cp = (cp << 6) | (s[i] & 0x3F);
            ++i;
        }
        if (!ok) continue;
        const int b = CodePageByte(cp);
        if (b >= 0) out.push_back(static_cast<char>(b));
    }
    return out;
}

std::vector<std::string> PromptLines(const std::string& prompt) {
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < prompt.size(); ++i) {
        const char c = prompt[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < prompt.size() && prompt[i + 1] == '\n') ++i;
            lines.emplace_back();
        } else {
            lines.back().push_back(c);
        }
    }
    if (lines.size() > static_cast<size_t>(kMaxPromptLines)) lines.resize(kMaxPromptLines);
    return lines;
}

Layout MakeLayout(const std::string& prompt) {
    Layout l;
    l.lines = PromptLines(prompt);
    const int n = static_cast<int>(l.lines.size());
    l.panelH = kTitleH + kPad + n * kLineH + kPad + kEditH + kPad + kButtonH + kPad;
    l.panelY = std::max(0, (kFieldHeight - l.panelH) / 2);
    l.editX = kPanelX + kPad;
    l.editW = kPanelW - 2 * kPad;
    l.editY = l.panelY + kTitleH + kPad + n * kLineH + kPad;
    l.buttonY = l.editY + kEditH + kPad;
    return l;
}

void FillRect(Surface* s, int x, int y, int w, int h, uint32_t colour) {
    const int x0 = std::max(0, x), y0 = std::max(0, y);
    const int x1 = std::min(s->width, x + w), y1 = std::min(s->height, y + h);
    for (int yy = y0; yy < y1; ++yy)
        for (int xx = x0; xx < x1; ++xx) s->pixels[yy * s->width + xx] = colour;
}

void FrameRect(Surface* s, int x, int y, int w, int h, uint32_t colour) {
    FillRect(s, x, y, w, 1, colour);
    FillRect(s, x, y + h - 1, w, 1, colour);
    FillRect(s, x, y, 1, h, colour);
    FillRect(s, x + w - 1, y, 1, h, colour);
}

void SetFont(FontFace face, int size, bool bold, uint32_t colour) {
    MainField.fontName = face;
    MainField.fontSize = size;
    MainField.fontBold = bold;
    MainField.foreColor = colour;
}

int Width(const std::string& text, size_t from, size_t to) {
    return TextWidth(text.data() + from, static_cast<int>(to - from));
}

void DrawButton(Surface* field, int x, int y, const char* label, bool isDefault) {
    FillRect(field, x, y, kButtonW, kButtonH, kTitleColour);
    FrameRect(field, x, y, kButtonW, kButtonH, isDefault ? kWhite : kLightBlue);
    SetFont(FONT_ARIAL, 8, true, kWhite);
    const int len = static_cast<int>(std::strlen(label));
    TextOutA(field, x + (kButtonW - TextWidth(label, len)) / 2, y + 3, label, len);
}

// The edit field is drawn on its own surface first, which clips long text.
void DrawEditField(Surface* field, Surface* box, Edit& edit, const Layout& l) {
    FillSurface(box, kWhite);
    SetFont(FONT_ARIAL, 10, false, kBlack);
    const size_t selFrom = std::min(edit.anchor, edit.caret), selTo = std::max(edit.anchor, edit.caret);
    const int caretPx = Width(edit.text, 0, edit.caret);
    const int inner = box->width - 6;
    if (caretPx - edit.scroll > inner) edit.scroll = caretPx - inner;
    if (caretPx - edit.scroll < 0) edit.scroll = caretPx;
    const int x0 = 3 - edit.scroll, y0 = 3;
    const int fromPx = Width(edit.text, 0, selFrom), toPx = Width(edit.text, 0, selTo);
    TextOutA(box, x0, y0, edit.text.data(), static_cast<int>(selFrom));
    if (selTo > selFrom) {
        FillRect(box, x0 + fromPx, 2, toPx - fromPx, box->height - 4, kSelectColour);
        MainField.foreColor = kWhite;
        TextOutA(box, x0 + fromPx, y0, edit.text.data() + selFrom, static_cast<int>(selTo - selFrom));
        MainField.foreColor = kBlack;
    } else {
        FillRect(box, x0 + caretPx, 3, 1, box->height - 6, kBlack);
    }
    TextOutA(box, x0 + toPx, y0, edit.text.data() + selTo, static_cast<int>(edit.text.size() - selTo));
    BitBlt(field, l.editX, l.editY, box->width, box->height, box, 0, 0, SRCCOPY);
    FrameRect(field, l.editX - 1, l.editY - 1, box->width + 2, box->height + 2, kLightBlue);
}

void DrawDialog(const std::vector<uint32_t>& saved, Surface* box, Edit& edit, const Layout& l,
                const std::string& caption) {
    Surface* field = MainField.image;
    // The game's picture stays visible, dimmed, behind the dialog.
    for (size_t i = 0; i < saved.size(); ++i) field->pixels[i] = (saved[i] >> 1) & 0x7F7F7F;
    FillRect(field, kPanelX, l.panelY, kPanelW, l.panelH, kPanelColour);
    FillRect(field, kPanelX, l.panelY, kPanelW, kTitleH, kTitleColour);
    FrameRect(field, kPanelX, l.panelY, kPanelW, l.panelH, kLightBlue);
    SetFont(FONT_ARIAL, 10, true, kWhite);
    TextOutA(field, kPanelX + 6, l.panelY + 2, caption);
    SetFont(FONT_ARIAL, 10, false, kPaleBlueWhite);
    int y = l.panelY + kTitleH + kPad;
    for (const std::string& line : l.lines) {
        TextOutA(field, kPanelX + kPad, y, line);
        y += kLineH;
    }
    DrawEditField(field, box, edit, l);
    const int right = kPanelX + kPanelW - kPad;
    DrawButton(field, right - 2 * kButtonW - kPad, l.buttonY, "OK", true);
    DrawButton(field, right - kButtonW, l.buttonY, "Cancel", false);
}

void ReplaceSelection(Edit& edit, const std::string& bytes) {
    const size_t from = std::min(edit.anchor, edit.caret), to = std::max(edit.anchor, edit.caret);
    edit.text.erase(from, to - from);
    const size_t room = kMaxChars > static_cast<int>(edit.text.size()) ? kMaxChars - edit.text.size() : 0;
    const std::string put = bytes.substr(0, room);
    edit.text.insert(from, put);
    edit.caret = edit.anchor = from + put.size();
}

void MoveCaret(Edit& edit, size_t to, bool extend) {
    edit.caret = std::min(to, edit.text.size());
    if (!extend) edit.anchor = edit.caret;
}

enum class KeyResult { NONE, CHANGED, ACCEPT, CANCEL };

KeyResult EditKey(Edit& edit, const SDL_Keysym& key) {
    const bool shift = (key.mod & KMOD_SHIFT) != 0;
    const bool ctrl = (key.mod & KMOD_CTRL) != 0;
    const bool hasSelection = edit.anchor != edit.caret;
    const size_t selFrom = std::min(edit.anchor, edit.caret), selTo = std::max(edit.anchor, edit.caret);
    switch (key.sym) {
        case SDLK_RETURN:
        case SDLK_KP_ENTER: return KeyResult::ACCEPT;
        case SDLK_ESCAPE: return KeyResult::CANCEL;
        case SDLK_BACKSPACE:
            if (!hasSelection && edit.caret > 0) edit.anchor = edit.caret - 1;
            ReplaceSelection(edit, {});
            return KeyResult::CHANGED;
        case SDLK_DELETE:
            if (!hasSelection && edit.caret < edit.text.size()) edit.anchor = edit.caret + 1;
            ReplaceSelection(edit, {});
            return KeyResult::CHANGED;
        case SDLK_LEFT:
            if (hasSelection && !shift) MoveCaret(edit, selFrom, false);
            else MoveCaret(edit, edit.caret > 0 ? edit.caret - 1 : 0, shift);
            return KeyResult::CHANGED;
        case SDLK_RIGHT:
            if (hasSelection && !shift) MoveCaret(edit, selTo, false);
            else MoveCaret(edit, edit.caret + 1, shift);
            return KeyResult::CHANGED;
        case SDLK_HOME: MoveCaret(edit, 0, shift); return KeyResult::CHANGED;
        case SDLK_END: MoveCaret(edit, edit.text.size(), shift); return KeyResult::CHANGED;
        default: break;
    }
    if (!ctrl) return KeyResult::NONE;
    if (key.sym == SDLK_a) {
        edit.anchor = 0;
        edit.caret = edit.text.size();
        return KeyResult::CHANGED;
    }
    if (key.sym == SDLK_c && hasSelection) {
        SDL_SetClipboardText(Cp1252ToUtf8(edit.text.substr(selFrom, selTo - selFrom)).c_str());
        return KeyResult::NONE;
    }
    if (key.sym == SDLK_v && SDL_HasClipboardText()) {
        char* clip = SDL_GetClipboardText();
        if (clip != nullptr) {
            ReplaceSelection(edit, TypedBytes(clip));
            SDL_free(clip);
        }
        return KeyResult::CHANGED;
    }
    return KeyResult::NONE;
}
}  // namespace

std::string PlatformInputBox(const std::string& prompt, const std::string& caption,
                             const std::string& defaultAnswer) {
    Surface* field = MainField.image;
    if (field == nullptr || sdlWindow.window == nullptr) return {};
    const PictureBox savedProps = MainField;
    const std::vector<uint32_t> saved(field->pixels, field->pixels + field->width * field->height);
    const Layout layout = MakeLayout(prompt);
    Surface* box = CreateSurface(layout.editW, kEditH);
    if (box == nullptr) return {};

    Edit edit;
    edit.text = defaultAnswer.substr(0, kMaxChars);
    edit.anchor = 0;  // the default answer starts selected: typing replaces it
    edit.caret = edit.text.size();

    // Key-ups the game is owed for keys it saw go down; delivered at its next
    // event dispatch, never while the dialog is open.
    std::vector<SDL_Event> owedKeyUps;
    bool quitRequested = false;
    bool accepted = false;

    SDL_Rect imeRect{layout.editX, layout.editY, layout.editW, kEditH};
    SDL_SetTextInputRect(&imeRect);
    SDL_StartTextInput();
    DrawDialog(saved, box, edit, layout, caption);
    PresentField();
    for (bool open = true; open;) {
        SDL_Event event;
        if (!SDL_WaitEventTimeout(&event, 100)) continue;
        if (IsCloseRequest(event)) {
            // Closing the window cancels the dialog; the game closes at its
            // next event dispatch.
            quitRequested = true;
            break;
        }
        if (HandleWindowEvent(event)) continue;
        KeyResult result = KeyResult::NONE;
        if (event.type == SDL_KEYUP && GameHoldsKey(event.key.keysym.scancode)) {
            owedKeyUps.push_back(event);
        } else if (event.type == SDL_KEYDOWN) {
            result = EditKey(edit, event.key.keysym);
        } else if (event.type == SDL_TEXTINPUT) {
            ReplaceSelection(edit, TypedBytes(event.text.text));
            result = KeyResult::CHANGED;
        }
        switch (result) {
            case KeyResult::ACCEPT: accepted = true; open = false; break;
            case KeyResult::CANCEL: open = false; break;
            case KeyResult::CHANGED:
                DrawDialog(saved, box, edit, layout, caption);
                PresentField();
                break;
            case KeyResult::NONE: break;
        }
    }
    SDL_StopTextInput();
    DestroySurface(box);

    std::copy(saved.begin(), saved.end(), field->pixels);
    MainField = savedProps;
    PresentField();
    DropQueuedKeyPresses();
    for (SDL_Event& e : owedKeyUps) SDL_PushEvent(&e);
    if (quitRequested) {
        SDL_Event quit{};
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
    }
    return accepted ? Cp1252ToUtf8(edit.text) : std::string();
}
