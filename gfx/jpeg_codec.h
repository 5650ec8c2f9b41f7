// JPEG decoding and encoding from and to memory, on libjpeg-turbo.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gfx/decoded_picture.h"

// Decodes a whole JPEG file held in memory into *picture (alpha byte 0).
// Baseline and progressive, grey, colour or CMYK (shown as ImageMagick shows
// it). A damaged or cut-off file (any decoder warning counts), one beyond the
// picture size limits, or one with an absurd number of progressive scans
// returns false.
bool DecodeJpeg(const uint8_t* data, size_t size, DecodedPicture* picture);

// Encodes width x height pixels of packed R, G, B bytes at quality 100 with
// no chroma subsampling (4:4:4), so flat areas keep their exact colour.
// Deterministic: the same pixels give the same bytes.
bool EncodeJpeg(const uint8_t* rgb, int width, int height, std::vector<uint8_t>* jpeg);
