// Loading picture files into surfaces, and the three fixed pictures.
#pragma once

#include <string>

struct Surface;

// Loads folder + "/" + fileName into *target, releasing what it held. A
// missing or undecodable file shows "No Map/Picture File!!!" titled "Error",
// clears `playing` and leaves *target unchanged.
void LoadPictureSurface(Surface*& target, const std::string& folder, const std::string& fileName);

// Ship, background and help pictures from the Pictures folder.
void LoadPictures();

// Releases the four picture slots.
void ReleasePictures();

// Decodes a picture file (BMP or JPEG) into a new surface; nullptr when it
// cannot be read.
Surface* DecodePictureFile(const std::string& path);

// Writes a surface as a PNG file; false on failure.
bool WritePng(const Surface* surface, const std::string& path);
