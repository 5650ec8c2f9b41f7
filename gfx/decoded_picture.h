// A decoded picture as the picture decoders hand it over, and the size limits
// every decoder applies before it allocates anything.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

// Pixels row-major from the top, 0xAABBGGRR: the surfaces' 0x00BBGGRR plus
// alpha in the top byte (0 from decoders of pictures without alpha).
struct DecodedPicture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// A cave is 200 rows high and at most 32767 wide; the other pictures are
// small. A picture beyond these limits is refused before any allocation,
// so a hostile header cannot make a decoder ask for gigabytes.
constexpr long long kMaxPictureSide = 32767;
constexpr long long kMaxPicturePixels = 1LL << 24;

inline bool PictureSizeAllowed(long long width, long long height) {
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxPicturePixels;
}
