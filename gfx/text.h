// Fonts for TextOutA: faces found by family name, glyphs rendered once per
// face, size and weight and kept in a cache.
#pragma once

#include <string>

// Finds and opens the Arial- and Courier New-metric faces. False with a
// reason when a face cannot be found or is not the expected family.
bool InitFonts(std::string* error);
