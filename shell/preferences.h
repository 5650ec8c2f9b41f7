// The player's preferences kept between sessions in <user>/Preferences.ini:
// the window's size and full-screen state, and whether the sound is off.
// SPDX-License-Identifier: MIT
#pragma once

struct Preferences {
    int windowWidth = 0;   // 0: not yet chosen
    int windowHeight = 0;
    bool fullScreen = false;
    bool muted = false;
};

// The stored preferences; missing or unreadable values keep their defaults.
Preferences LoadPreferences();
// Stores them in one replacement of the file; false when it cannot be written.
bool SavePreferences(const Preferences& p);
