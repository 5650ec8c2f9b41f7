// Loading picture files into surfaces, and the three fixed pictures.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct Surface;

// Loads folder + "/" + fileName into *target, releasing what it held. A
// missing or undecodable file shows "No Map/Picture File!!!" titled "Error",
// leaves *target unchanged and returns false.
bool LoadPictureSurface(Surface*& target, const std::string& folder, const std::string& fileName);

// Ship, background and help pictures from the Pictures folder.
void LoadPictures();

// Releases the four picture slots.
void ReleasePictures();

// Reads a whole picture file into *data; false when it cannot be read, is
// empty, or is larger than any picture the game could use.
bool ReadPictureFile(const std::string& path, std::vector<uint8_t>* data);

// Decodes a BMP or JPEG file held in memory (told apart by its first bytes)
// into a new surface; nullptr for anything else or anything damaged.
Surface* DecodePicture(const uint8_t* data, size_t size);

// ReadPictureFile, then DecodePicture.
Surface* DecodePictureFile(const std::string& path);

// Writes a surface as a PNG file; false on failure.
bool WritePng(const Surface* surface, const std::string& path);
