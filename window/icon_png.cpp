// The window icon's PNG file, read with the game's own PNG decoder.
// SPDX-License-Identifier: MIT
#include "gfx/picture_store.h"
#include "gfx/png_codec.h"
#include "window/sdl_window.h"

bool LoadPngArgb(const std::string& path, int* width, int* height, std::vector<uint32_t>* argb) {
    std::vector<uint8_t> file;
    DecodedPicture picture;
    if (!ReadPictureFile(path, &file) || !DecodePng(file.data(), file.size(), &picture)) return false;
    argb->resize(picture.pixels.size());
    for (size_t i = 0; i < argb->size(); ++i) {
        const uint32_t p = picture.pixels[i];  // 0xAABBGGRR
        (*argb)[i] = (p & 0xFF00FF00u) | ((p & 0xFFu) << 16) | ((p >> 16) & 0xFFu);
    }
    *width = picture.width;
    *height = picture.height;
    return true;
}
