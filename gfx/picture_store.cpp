// Picture files into surfaces. The file is read whole into memory (with a
// size bound) and handed to the BMP or JPEG decoder its first bytes name;
// both refuse a damaged or cut-off file instead of showing part of it.
#include "gfx/picture_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "base/game_paths.h"
#include "base/game_state.h"
#include "gfx/bmp_reader.h"
#include "gfx/jpeg_codec.h"
#include "gfx/png_codec.h"
#include "gfx/surface.h"
#include "platform/platform.h"

namespace {

// Far above any picture file the game uses (the largest cave is 12 MB).
constexpr long long kMaxFileBytes = 1LL << 28;

void ShowMissing() {
    PlatformMessageBox("No Map/Picture File!!!", "Error");
    gs.playing = kFalse;
}

}  // namespace

bool ReadPictureFile(const std::string& path, std::vector<uint8_t>* data) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(f) : -1;
    ok = ok && size > 0 && size <= kMaxFileBytes && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        data->resize(static_cast<size_t>(size));
        ok = std::fread(data->data(), 1, data->size(), f) == data->size();
    }
    std::fclose(f);
    return ok;
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

void LoadPictureSurface(Surface*& target, const std::string& folder, const std::string& fileName) {
    const std::string path = folder + "/" + fileName;
    if (!PlatformFileExists(path)) {
        ShowMissing();
        return;
    }
    // A file that cannot be read as a picture is treated as a missing one.
    Surface* picture = DecodePictureFile(path);
    if (picture == nullptr) {
        ShowMissing();
        return;
    }
    DestroySurface(target);
    target = picture;
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
    // Written beside the target and renamed over it, so that a reader never
    // sees half a file.
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    FILE* f = fdopen(fd, "wb");
    if (f == nullptr) {
        close(fd);
        unlink(temp.c_str());
        return false;
    }
    bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    ok = std::fflush(f) == 0 && fsync(fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (ok) {
        // mkstemp makes the file private; a picture is as readable as any other file.
        const mode_t mask = umask(0);
        umask(mask);
        chmod(temp.c_str(), 0666 & ~mask);
        ok = std::rename(temp.c_str(), path.c_str()) == 0;
    }
    if (!ok) unlink(temp.c_str());
    return ok;
}
