// Shared state of the window build: the one SDL window, and the event
// handling every loop of it shares.
// SPDX-License-Identifier: MIT
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>
#include <vector>

struct SdlWindow {
    SDL_Window* window = nullptr;
};

extern SdlWindow sdlWindow;

// The Windows virtual-key code of an SDL key; 0 when the key has none.
int16_t VirtualKeyOf(const SDL_Keysym& key);

// Handles events that every event loop treats alike: F11 fullscreen, F12
// screenshot and the repaints after a resize. True when the event was consumed.
bool HandleWindowEvent(const SDL_Event& event);

// True when the event asks the program to close (window close button, the
// window manager's delete request, SDL_QUIT).
bool IsCloseRequest(const SDL_Event& event);

// Called when a modal dialog closes: key presses and typing queued while it
// was open never reach the game.
void DropQueuedKeyPresses();

// Whether the game has seen this key go down (so it is owed the key-up).
bool GameHoldsKey(SDL_Scancode scancode);

// Reads a PNG file as 0xAARRGGBB pixels; false when it cannot be read.
bool LoadPngArgb(const std::string& path, int* width, int* height, std::vector<uint32_t>* argb);

// Runs `work` with standard error sent to /dev/null: libraries under SDL
// (ALSA, Wayland) complain there about what one line of ours says better.
void WithoutLibraryNoise(void (*work)());
