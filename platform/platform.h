// The narrow layer through which game code reaches the outside world. Two
// implementations sit above the game: the real window (window/) and a
// headless one (headless/) for the driver and the tests. Everything the game needs
// from the window, the clock, the dialogs and the desktop is here. Two
// libraries are used directly by the layers that own them, the same in both
// builds: the fonts (SDL_ttf and fontconfig, in gfx/text.cpp) and HTTP
// (libcurl, in online/http_client.cpp).
//
// Texts handed to and returned by these functions are in the game's
// single-byte code page (Windows-1252) unless a comment says otherwise.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Milliseconds since an arbitrary start, read as a signed 32-bit value.
// It wraps after 2^31 ms; callers compare readings by their difference.
int32_t PlatformTickCount();

// True when a reading `now` is past `deadline`. Readings are compared by
// their wrap-around difference; a deadline more than a second ahead cannot
// come from the pacer (its steps are at most 45 ms) and counts as passed, so
// the first deadline of 0 never stalls a counter that reads negative.
inline bool TickPassed(int32_t now, int32_t deadline) {
    int32_t ahead = static_cast<int32_t>(static_cast<uint32_t>(deadline) - static_cast<uint32_t>(now));
    return ahead < 0 || ahead > 1000;
}

// Polls the tick counter until a reading is greater than `deadline`
// (wrap-aware) and returns that reading. The window build busy-waits; the
// headless build jumps its virtual clock to deadline + 1.
int32_t PlatformWaitTickAfter(int32_t deadline);

// A blocking wait during which no input is handled.
void PlatformSleep(int32_t milliseconds);

// Dispatches all pending window events: key events run OnKeyDown/OnKeyUp,
// closing the window runs OnUnload. Shows the play field as drawn so far.
void PlatformDispatchEvents();

// Shows the play field at once (the picture box's Refresh).
void PlatformPresent();

// Makes the window visible (no-op headless).
void PlatformShowWindow();

// Modal message boxes. The Yes/No box returns true for Yes.
void PlatformMessageBox(const std::string& text, const std::string& caption);
bool PlatformAskYesNo(const std::string& text, const std::string& caption);

// What a text-input dialog's answer may hold, in the code page: at most
// maxBytes bytes, each one `carries` accepts, the first and last also
// accepted by `carriesAtEnd`. A dialog refuses anything else as it is typed
// or pasted, saying why, so that the answer is kept exactly as shown.
struct InputRules {
    size_t maxBytes;
    bool (*carries)(unsigned char byte);
    bool (*carriesAtEnd)(unsigned char byte);
};

// Modal text-input dialog. Returns the typed text as UTF-8 (the caller
// converts it to the code page), or empty text when cancelled.
std::string PlatformInputBox(const std::string& prompt, const std::string& caption,
                             const std::string& defaultAnswer, const InputRules& rules);

// Opens a web page in the desktop's browser and does not wait for it. The
// window build starts xdg-open; the headless build records the address
// (HeadlessOpenedUrls) and writes it to the message echo as "open: " + url.
// False when no browser could be started (no opener, or the opener failed).
bool PlatformOpenUrl(const std::string& url);

// True when a file (not a folder) exists at the path.
bool PlatformFileExists(const std::string& path);

// A uniform random number in [0, 1) from the game's one shared stream:
// std::mt19937, each number (gen() >> 8) * 2^-24.
double PlatformRandom();
void PlatformSeedRandom(uint32_t seed);

// Ends the program with the given status. Never returns. The headless build
// unwinds to its driver's main with a ProgramEnded exception.
[[noreturn]] void PlatformEndProgram(int status);

struct ProgramEnded {
    int status;
};

// The game's sounds, made by the content generator as <data>/Sounds/<name>.wav.
// The first four loop while the game keeps them in its loop set; the others
// play once.
enum class SoundId : uint8_t { kEngineUp, kEngineDown, kTurbo, kBrake, kHit, kGameOver, kRecord, kSelect, kConfirm, kUpload };
constexpr int kSoundCount = 10;

// The file and log name of a sound: "engine-up", "hit", ...
constexpr const char* SoundName(SoundId id) {
    constexpr const char* names[kSoundCount] = {"engine-up", "engine-down", "turbo",  "brake",   "hit",
                                                "game-over", "record",      "select", "confirm", "upload"};
    return names[static_cast<int>(id)];
}

// A sound's bit in a loop set.
constexpr uint32_t SoundBit(SoundId id) { return 1u << static_cast<unsigned>(id); }

// Starts a sound once, mixed over whatever plays. `strength` (0..1) says how
// hard the event was; the sound is louder with it.
void PlatformPlaySound(SoundId id, float strength);

// The looping sounds from now on, as SoundBit()s. The game sets them every
// frame; the window lets a set that is not renewed (a dialog, a stalled
// loop) fade out by itself.
void PlatformSetSoundLoops(uint32_t loops);

// Sound off (nothing plays, playing sounds stop) or on. The window opens the
// sound device the first time sound is on; without one the game is silent.
void PlatformSetSoundMuted(bool muted);
