// PNG through libpng's simplified interface, which reports damaged input as
// an error instead of jumping out of the caller.
// SPDX-License-Identifier: MIT
#include "gfx/png_codec.h"

#include <png.h>

bool DecodePng(const uint8_t* data, size_t size, DecodedPicture* picture) {
    if (data == nullptr || picture == nullptr || size == 0) return false;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, data, size) == 0) return false;
    if (!PictureSizeAllowed(image.width, image.height)) {
        png_image_free(&image);
        return false;
    }
    // R, G, B, A bytes land in memory as 0xAABBGGRR on this little-endian machine.
    image.format = PNG_FORMAT_RGBA;
    picture->width = static_cast<int>(image.width);
    picture->height = static_cast<int>(image.height);
    picture->pixels.assign(static_cast<size_t>(image.width) * image.height, 0);
    if (png_image_finish_read(&image, nullptr, picture->pixels.data(), 0, nullptr) == 0) {
        png_image_free(&image);
        return false;
    }
    return true;
}

bool EncodePng(const uint8_t* pixels, int width, int height, int channels, std::vector<uint8_t>* png) {
    if (pixels == nullptr || png == nullptr || (channels != 3 && channels != 4) || !PictureSizeAllowed(width, height)) {
        return false;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    png_alloc_size_t bytes = 0;
    if (png_image_write_to_memory(&image, nullptr, &bytes, 0, pixels, 0, nullptr) == 0) return false;
    png->resize(bytes);
    if (png_image_write_to_memory(&image, png->data(), &bytes, 0, pixels, 0, nullptr) == 0) {
        png->clear();
        return false;
    }
    png->resize(bytes);
    return true;
}
