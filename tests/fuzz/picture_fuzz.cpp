// Picture bytes as the picture store decodes caves, the ship and the
// backgrounds: a surface of sane size or nothing. The BMP reader and the
// JPEG decoder are also called directly, so that each sees every input,
// whatever its first bytes say.
// SPDX-License-Identifier: MIT
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "gfx/bmp_reader.h"
#include "gfx/decoded_picture.h"
#include "gfx/jpeg_codec.h"
#include "gfx/picture_store.h"
#include "gfx/surface.h"

namespace {

void CheckSurface(const Surface* surface) {
    if (surface == nullptr) return;
    fuzzsupport::Require(surface->width > 0 && surface->height > 0 && surface->pixels != nullptr,
                         "a decoded picture has pixels");
    uint32_t all = 0;
    const size_t count = static_cast<size_t>(surface->width) * static_cast<size_t>(surface->height);
    for (size_t i = 0; i < count; ++i) all |= surface->pixels[i];
    fuzzsupport::Require(all <= 0xFFFFFFu, "pixels are 24-bit colours");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Surface* surface = DecodePicture(data, size);
    CheckSurface(surface);
    DestroySurface(surface);
    DecodedPicture picture;
    DecodeBmp(data, size, &picture);
    DecodeJpeg(data, size, &picture);
    return 0;
}
