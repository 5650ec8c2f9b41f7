// Where the game's files are: the shipped data (caves, pictures, the shipped
// catalogue) and the player's writable folder (catalogue with records,
// replays, own caves, screenshots). In the portable layout both are the
// program folder; installed, the data is shared and the records per player.
// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// The folders chosen at start. `data` holds Maps/ and Pictures/ as shipped;
// `user` holds the player's catalogue and Replays/. Equal folders are the
// portable layout.
struct GameFolders {
    std::string data;
    std::string user;
};

// The folder of the running executable ("." when it cannot be told).
std::string ExecutableFolder();

// Where the shipped data lies relative to the executable's folder when
// installed, e.g. "../share/quillrun".
extern const char kRelativeDataDir[];

// Picks the folders for a program in `programFolder`: a `dataDir` or
// `userDir` given on the command line wins; otherwise a program folder with
// a writable Maps/Maps.ini, or one without the installed data folder
// `programFolder`/`relativeDataDir`, is portable; otherwise the installed
// data folder with the per-user folder.
GameFolders ChooseGameFolders(const std::string& programFolder, const std::string& relativeDataDir,
                              const std::string& dataDir, const std::string& userDir);

// $XDG_DATA_HOME/quillrun, or ~/.local/share/quillrun when it is unset or
// not an absolute path.
std::string PerUserFolder();

void SetGameFolders(const GameFolders& folders);
const GameFolders& CurrentGameFolders();

bool PortableLayout();
// The player's catalogue: <user>/Maps/Maps.ini when portable, else <user>/Maps.ini.
std::string MapsIniPath();
// The catalogue as shipped: <data>/Maps/Maps.ini.
std::string ShippedMapsIniPath();
// <user>/Replays
std::string ReplayFolder();
// The folder to read cave `file` from: the player's <user>/Maps when the
// file is there, else <data>/Maps.
std::string MapFolderFor(const std::string& file);
// <data>/Pictures
std::string PicturesFolder();
// <user>/Screenshots
std::string ScreenshotFolder();
// <user>/Preferences.ini: the player's window and sound settings.
std::string PreferencesPath();
// <data>/Sounds
std::string SoundsFolder();
