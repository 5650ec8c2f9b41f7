// Picture files into surfaces. The file (a regular file of at most 64 MiB) is
// read whole into memory and handed to the BMP or JPEG decoder its first
// bytes name; both refuse a damaged or cut-off file instead of showing part
// of it.
// SPDX-License-Identifier: MIT
#include "gfx/picture_store.h"

#include <string_view>
#include <vector>

#include "base/atomic_file.h"
#include "base/game_paths.h"
#include "base/game_state.h"
#include "base/regular_file.h"
#include "gfx/bmp_reader.h"
#include "gfx/jpeg_codec.h"
#include "gfx/png_codec.h"
#include "gfx/surface.h"
#include "platform/platform.h"

namespace {

// Far above any picture file the game uses (the largest cave is 12 MB).
constexpr size_t kMaxFileBytes = 64 << 20;

bool ShowMissing() {
    PlatformMessageBox("No Map/Picture File!!!", "Error");
    return false;
}

}  // namespace

bool ReadPictureFile(const std::string& path, std::vector<uint8_t>* data) {
    // Only a regular file: a pipe would hang the game, a device fill memory.
    return ReadRegularFile(path, kMaxFileBytes, *data) == FileRead::kOk && !data->empty();
}

Surface* DecodePicture(const uint8_t* data, size_t size) {
    DecodedPicture picture;
    bool decoded = false;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
        decoded = DecodeBmp(data, size, &picture);
    } else if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
        decoded = DecodeJpeg(data, size, &picture);
    }
    if (!decoded) return nullptr;
    Surface* surface = CreateSurface(picture.width, picture.height);
    if (surface != nullptr) {
        for (size_t i = 0; i < picture.pixels.size(); ++i) surface->pixels[i] = picture.pixels[i] & 0xFFFFFFu;
    }
    return surface;
}

Surface* DecodePictureFile(const std::string& path) {
    std::vector<uint8_t> file;
    if (!ReadPictureFile(path, &file)) return nullptr;
    return DecodePicture(file.data(), file.size());
}

bool LoadPictureSurface(Surface*& target, const std::string& folder, const std::string& fileName) {
    const std::string path = folder + "/" + fileName;
    if (!PlatformFileExists(path)) return ShowMissing();
    // A file that cannot be read as a picture is treated as a missing one.
    Surface* picture = DecodePictureFile(path);
    if (picture == nullptr) return ShowMissing();
    DestroySurface(target);
    target = picture;
    return true;
}

void LoadPictures() {
    LoadPictureSurface(gs.shipSurface, PicturesFolder(), "Ship.jpg");
    LoadPictureSurface(gs.backgroundSurface, PicturesFolder(), "background.jpg");
    LoadPictureSurface(gs.helpSurface, PicturesFolder(), "Help.jpg");
}

void ReleasePictures() {
    for (Surface** slot : {&gs.mapSurface, &gs.shipSurface, &gs.backgroundSurface, &gs.helpSurface}) {
        DestroySurface(*slot);
        *slot = nullptr;
    }
}

bool WritePng(const Surface* surface, const std::string& path) {
    if (surface == nullptr || surface->pixels == nullptr || surface->width <= 0 || surface->height <= 0) {
        return false;
    }
    const size_t count = static_cast<size_t>(surface->width) * static_cast<size_t>(surface->height);
    std::vector<unsigned char> rgb(count * 3);
    for (size_t i = 0; i < count; ++i) {
        const uint32_t c = surface->pixels[i];
        rgb[3 * i] = static_cast<unsigned char>(c & 0xFF);
        rgb[3 * i + 1] = static_cast<unsigned char>((c >> 8) & 0xFF);
        rgb[3 * i + 2] = static_cast<unsigned char>((c >> 16) & 0xFF);
    }
    std::vector<uint8_t> png;
    if (!EncodePng(rgb.data(), surface->width, surface->height, 3, &png)) return false;
    return ReplaceFileAtomically(path, std::string_view(reinterpret_cast<const char*>(png.data()), png.size()));
}
