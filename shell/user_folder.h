// The player's own folder in the installed layout: created on the first
// start with the shipped catalogue, topped up with caves a later version
// ships, and replaced for the session when it cannot be written.
// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// Makes the per-user folder ready before the game starts, mending a damaged
// Maps.ini first (RepairMapsIni; the only step in the portable layout).
// Creates the folder and its Replays/, copies the shipped Maps.ini on the
// first start, and adds shipped map sections that the player's Maps.ini
// lacks (records, names and the player's own entries stay as they are). When the folder cannot be written, tells the player
// once, in a message box naming the folder, and plays on in a scratch
// folder that is removed at exit.
void PrepareUserFolder();

// Adds to the catalogue at `userIni` every map section of `shippedIni`
// ("01".."50") that has a "File" there and none in `userIni`; the file is
// replaced in one step. A catalogue that is not whole is left alone. False
// when it could not be written.
bool MergeShippedMaps(const std::string& shippedIni, const std::string& userIni);
