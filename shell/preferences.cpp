// The player's preferences file: a small INI file beside the player's
// catalogue, read once at start and replaced whole when a setting changes.
// SPDX-License-Identifier: MIT
#include "shell/preferences.h"

#include <cstdlib>
#include <string>

#include "base/atomic_file.h"
#include "base/game_paths.h"
#include "maps/settings_file.h"

namespace {

// A whole number of 1..100000, or `fallback`: a hand-edited file must not
// open a window of absurd size.
int NumberOr(const IniDocument& doc, const char* section, const char* key, int fallback) {
    const std::string text = IniValue(doc, section, key);
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) return fallback;
    const int value = std::atoi(text.c_str());
    return value >= 1 && value <= 100000 ? value : fallback;
}

}  // namespace

Preferences LoadPreferences() {
    Preferences p;
    IniDocument doc;
    if (LoadIniDocument(PreferencesPath(), doc) != FileRead::kOk) return p;
    p.windowWidth = NumberOr(doc, "Window", "Width", 0);
    p.windowHeight = NumberOr(doc, "Window", "Height", 0);
    if (p.windowWidth == 0 || p.windowHeight == 0) p.windowWidth = p.windowHeight = 0;
    p.fullScreen = NumberOr(doc, "Window", "FullScreen", 0) == 1;
    p.muted = NumberOr(doc, "Sound", "Muted", 0) == 1;
    return p;
}

bool SavePreferences(const Preferences& p) {
    std::string text;
    SetIniValue(text, "Window", "Width", std::to_string(p.windowWidth));
    SetIniValue(text, "Window", "Height", std::to_string(p.windowHeight));
    SetIniValue(text, "Window", "FullScreen", p.fullScreen ? "1" : "0");
    SetIniValue(text, "Sound", "Muted", p.muted ? "1" : "0");
    return ReplaceFileAtomically(PreferencesPath(), text);
}
