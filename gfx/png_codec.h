// PNG decoding and encoding from and to memory, on libpng.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gfx/decoded_picture.h"

// Decodes a whole PNG file held in memory into *picture, alpha in the top
// byte (255 where the file has none). Any PNG colour type and depth is read
// as 8-bit RGBA; a damaged or oversized file returns false.
bool DecodePng(const uint8_t* data, size_t size, DecodedPicture* picture);

// Encodes width x height pixels of packed 8-bit channels (3: R, G, B;
// 4: R, G, B, A) as a PNG file.
bool EncodePng(const uint8_t* pixels, int width, int height, int channels, std::vector<uint8_t>* png);
