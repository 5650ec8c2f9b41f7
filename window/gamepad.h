// Gamepads as a second keyboard: every button or direction stands for a key
// and produces exactly that key's key-down and key-up through the game's
// key handlers.
// SPDX-License-Identifier: MIT
#pragma once

#include <SDL.h>

#include <string>

// Opens the game-controller subsystem with SDL's own mappings, those in
// SDL_GAMECONTROLLERCONFIG, and those of `mappingFile` when it exists.
// Pads plugged in now or later are picked up by their device events.
void StartGamepads(const std::string& mappingFile);

// Handles a pad event at the game's event dispatch; true when it was one.
// Runs OnKeyDown/OnKeyUp for the keys the pad presses and releases.
bool GamepadGameEvent(const SDL_Event& event);

// Called at every event dispatch of the game: the key-ups owed for pad keys
// released while a dialog was open, and the automatic repeats of a held
// direction, timed like the keyboard's.
void GamepadCatchUp();

enum class PadCommand { NONE, ACCEPT, CANCEL };

// Handles a pad event while a dialog is open: nothing reaches the game, A
// asks for OK/Yes and B for Cancel/No.
PadCommand GamepadDialogEvent(const SDL_Event& event);

// Takes the keyboard's repeat delay and interval from the window system
// when it tells them (the X server does); otherwise its defaults stay.
void TakeKeyboardRepeat();

// Uses the keyboard's repeat delay and interval (milliseconds) for held pad
// directions.
void SetGamepadRepeat(int delayMs, int intervalMs);
