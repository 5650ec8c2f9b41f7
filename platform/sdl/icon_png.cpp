// PNG reading for the window icon only; the game's pictures are BMP and JPEG.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_MAX_DIMENSIONS 4096
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_image.h>
#pragma GCC diagnostic pop

#include "platform/sdl/sdl_window.h"

bool LoadPngArgb(const std::string& path, int* width, int* height, std::vector<uint32_t>* argb) {
    int w = 0, h = 0, channels = 0;
    unsigned char* data = stbi_load(path.c_str(), &w, &h, &channels, 4);
    if (data == nullptr) return false;
    argb->resize(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < argb->size(); ++i) {
        const unsigned char* p = data + 4 * i;
        (*argb)[i] = (static_cast<uint32_t>(p[3]) << 24) | (static_cast<uint32_t>(p[0]) << 16) |
                     (static_cast<uint32_t>(p[1]) << 8) | p[2];
    }
    stbi_image_free(data);
    *width = w;
    *height = h;
    return true;
}
