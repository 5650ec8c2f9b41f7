// The game's own modal dialogs, drawn inside the window over a dimmed copy of
// the play field: the panel's look and the modal event loop that the message
// boxes and the text-input dialog share.
// SPDX-License-Identifier: MIT
#pragma once

#include <SDL.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gfx/surface.h"

constexpr int kDialogX = 40, kDialogW = 520;
constexpr int kDialogTitleH = 20, kDialogLineH = 16, kDialogPad = 8;
constexpr int kDialogButtonW = 72, kDialogButtonH = 20;
constexpr uint32_t kDialogPanelColour = 0x30180C;
constexpr uint32_t kDialogTitleColour = 0x803010;

struct DialogPanel {
    std::string caption;               // Windows-1252, as all texts here
    std::vector<std::string> lines;    // the message or prompt, one entry a line
    int bodyH = 0;                     // room below the lines for the caller's own controls
    std::vector<const char*> buttons;  // left to right at the bottom right; the first is the default
    // Set by LayOutDialog:
    int y = 0, height = 0, bodyY = 0, buttonY = 0;
};

// Breaks text at CR LF, CR or LF and between words so that no line is wider
// than the panel in the dialog's text font; a word too long for a line is
// split. At most maxLines lines; when text is left over the last line ends
// in "...".
std::vector<std::string> BreakDialogText(const std::string& text, int maxLines);

// Centres the panel vertically and places its body and buttons.
void LayOutDialog(DialogPanel* panel);

// The dimmed background, the panel with its caption, lines and buttons.
void DrawDialogPanel(const DialogPanel& panel, const std::vector<uint32_t>& background);

// Rectangles and the play field's font, for the callers' controls.
void FillBox(Surface* s, int x, int y, int w, int h, uint32_t colour);
void FrameBox(Surface* s, int x, int y, int w, int h, uint32_t colour);
void SetDialogFont(int size, bool bold, uint32_t colour);

enum class DialogStep { KEEP, REDRAW, ACCEPT, CANCEL };

struct DialogHandlers {
    // A key pressed on the keyboard. The pad's A arrives as RETURN, its B as
    // ESCAPE.
    std::function<DialogStep(const SDL_Keysym&)> key;
    // Typed or composed text (UTF-8); when empty, text input stays off.
    std::function<DialogStep(const char*)> text;
    // Draws the whole dialog over the saved play field.
    std::function<void(const std::vector<uint32_t>&)> draw;
    SDL_Rect textArea{};  // where an input method may show its candidates
};

// True when the window and its play field exist to draw a dialog on.
bool DialogPossible();

// Runs a modal dialog until a handler answers ACCEPT or CANCEL; true for
// ACCEPT. The frame loop waits meanwhile; keys pressed into the dialog never
// reach the game, key-ups it is owed come at its next event dispatch, and a
// close request cancels the dialog and closes the game afterwards. The play
// field and its drawing properties are restored. False at once when there is
// no window.
bool RunDialog(const DialogHandlers& handlers);
