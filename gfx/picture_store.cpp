// Picture files into surfaces. BMP and JPEG are decoded with stb_image after
// the file has been checked to be complete, so that a cut-off file is
// refused instead of being shown with a black or grey remainder.
#include "gfx/picture_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/game_state.h"
#include "gfx/surface.h"
#include "platform/platform.h"

#define STBI_ONLY_BMP
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_MAX_DIMENSIONS 65536
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include "stb_image.h"
#include "stb_image_write.h"
#pragma GCC diagnostic pop

namespace {

// Far above any picture the game uses (a map is at most 32767 x 200), low
// enough that a hostile header cannot make the decoder ask for gigabytes.
constexpr long long kMaxSide = 65535;
constexpr long long kMaxPixels = 1LL << 24;
constexpr long long kMaxFileBytes = 1LL << 28;

uint32_t Read16(const unsigned char* p) { return p[0] | (p[1] << 8); }
uint32_t Read32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool SizeAllowed(long long width, long long height) {
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide && width * height <= kMaxPixels;
}

// An uncompressed bitmap whose pixel rows all lie inside the file.
bool CheckBmp(const std::vector<unsigned char>& file) {
    const size_t n = file.size();
    if (n < 26) return false;
    const unsigned char* d = file.data();
    const uint32_t offset = Read32(d + 10);
    const uint32_t headerSize = Read32(d + 14);
    long long width, height;
    uint32_t bpp, compression = 0;
    if (headerSize == 12) {
        width = Read16(d + 18);
        height = Read16(d + 20);
        bpp = Read16(d + 24);
    } else {
        if (headerSize < 40 || n < 14 + static_cast<size_t>(headerSize)) return false;
        width = static_cast<int32_t>(Read32(d + 18));
        height = static_cast<int32_t>(Read32(d + 22));
        bpp = Read16(d + 28);
        compression = Read32(d + 30);
    }
    if (height < 0) height = -height;  // rows stored top-down
    // Run-length and embedded JPEG/PNG bitmaps are not read.
    if (compression != 0 && compression != 3) return false;
    if (!SizeAllowed(width, height)) return false;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
    const long long rowBytes = (width * bpp + 31) / 32 * 4;
    return static_cast<long long>(offset) + rowBytes * height <= static_cast<long long>(n);
}

// A JPEG that reaches its end-of-image marker after the first scan; a file
// cut short anywhere before its end has none.
bool CheckJpeg(const std::vector<unsigned char>& file) {
    const size_t n = file.size();
    const unsigned char* d = file.data();
    size_t i = 2;
    for (;;) {
        while (i + 1 < n && d[i] == 0xFF && d[i + 1] == 0xFF) ++i;  // fill bytes
        if (i + 4 > n || d[i] != 0xFF) return false;
        const unsigned marker = d[i + 1];
        if (marker == 0xD9) return false;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            i += 2;
            continue;
        }
        const size_t length = (static_cast<size_t>(d[i + 2]) << 8) | d[i + 3];
        if (length < 2 || i + 2 + length > n) return false;
        i += 2 + length;
        if (marker == 0xDA) break;
    }
    for (size_t k = n - 1; k > i; --k) {
        if (d[k - 1] == 0xFF && d[k] == 0xD9) return true;
    }
    return false;
}

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>* data) {
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

void ShowMissing() {
    PlatformMessageBox("No Map/Picture File!!!", "Error");
    gs.playing = kFalse;
}

void AppendToFile(void* context, void* data, int size) {
    auto* f = static_cast<FILE**>(context);
    if (*f == nullptr || size <= 0) return;
    if (std::fwrite(data, 1, static_cast<size_t>(size), *f) != static_cast<size_t>(size)) {
        std::fclose(*f);
        *f = nullptr;  // marks the failure
    }
}

}  // namespace

Surface* DecodePictureFile(const std::string& path) {
    std::vector<unsigned char> file;
    if (!ReadWholeFile(path, &file) || file.size() < 4) return nullptr;
    int width = 0, height = 0, channels = 0;
    if (file[0] == 'B' && file[1] == 'M') {
        if (!CheckBmp(file)) return nullptr;
    } else if (file[0] == 0xFF && file[1] == 0xD8 && file[2] == 0xFF) {
        if (!CheckJpeg(file)) return nullptr;
    } else {
        return nullptr;
    }
    const int length = static_cast<int>(file.size());
    if (stbi_info_from_memory(file.data(), length, &width, &height, &channels) == 0) return nullptr;
    if (height < 0) height = -height;
    if (!SizeAllowed(width, height)) return nullptr;
    unsigned char* rgb = stbi_load_from_memory(file.data(), length, &width, &height, &channels, 3);
    if (rgb == nullptr) return nullptr;
    Surface* surface = CreateSurface(width, height);
    if (surface != nullptr) {
        const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
        for (size_t i = 0; i < count; ++i) {
            const unsigned char* p = rgb + 3 * i;
            surface->pixels[i] = p[0] | (p[1] << 8) | (static_cast<uint32_t>(p[2]) << 16);
        }
    }
    stbi_image_free(rgb);
    return surface;
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
    LoadPictureSurface(gs.shipSurface, ProgramFolder(), "Pictures/Ship.jpg");
    LoadPictureSurface(gs.backgroundSurface, ProgramFolder(), "Pictures/background.jpg");
    LoadPictureSurface(gs.helpSurface, ProgramFolder(), "Pictures/Help.jpg");
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
    const int encoded = stbi_write_png_to_func(AppendToFile, &f, surface->width, surface->height, 3, rgb.data(),
                                               surface->width * 3);
    bool ok = encoded != 0 && f != nullptr;
    if (f != nullptr) {
        ok = ok && std::fflush(f) == 0 && fsync(fileno(f)) == 0;
        ok = std::fclose(f) == 0 && ok;
    }
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
