// Reading BMP pictures from memory, as paint programs write them.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/decoded_picture.h"

// Decodes a whole BMP file held in memory into *picture (alpha byte 0).
// Reads 1, 4 and 8-bit palettes uncompressed, RLE8 and RLE4; 16, 24 and
// 32-bit with or without bit-field masks; core (12-byte), V3, V4 and V5
// headers; bottom-up and top-down rows; gaps before the pixels and bytes
// after them. Any damaged, cut-off or oversized file returns false and
// leaves *picture unspecified; nothing is ever read outside [data, data + size).
bool DecodeBmp(const uint8_t* data, size_t size, DecodedPicture* picture);
