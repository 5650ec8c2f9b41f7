// JPEG through the TurboJPEG interface of libjpeg-turbo, a decoder built
// for untrusted input: the picture size is checked from the header before
// any pixel memory is allocated.
// SPDX-License-Identifier: MIT
#include "gfx/jpeg_codec.h"

#include <turbojpeg.h>

namespace {

// One TurboJPEG instance for the length of a call.
class Handle {
public:
    explicit Handle(bool compress) : h_(compress ? tjInitCompress() : tjInitDecompress()) {}
    ~Handle() {
        if (h_ != nullptr) tjDestroy(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    tjhandle get() const { return h_; }

private:
    tjhandle h_;
};

// Print tools store CMYK inverted (255 is no ink), marker or not, and
// ImageMagick reads every CMYK JPEG so: each of R, G, B is the inverted ink
// times the inverted black, rounded down, as ImageMagick shows it.
uint32_t CmykToRgb(uint32_t cmyk) {
    const uint32_t k = cmyk >> 24;
    uint32_t rgb = 0;
    for (int c = 0; c < 3; ++c) rgb |= (((cmyk >> (8 * c)) & 0xFFu) * k / 255u) << (8 * c);
    return rgb;
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, DecodedPicture* picture) {
    if (data == nullptr || picture == nullptr || size == 0) return false;
    Handle h(false);
    if (h.get() == nullptr) return false;
    int width = 0, height = 0, subsampling = 0, colourSpace = 0;
    const unsigned long length = size;
    if (tjDecompressHeader3(h.get(), data, length, &width, &height, &subsampling, &colourSpace) != 0) return false;
    if (!PictureSizeAllowed(width, height)) return false;
    picture->width = width;
    picture->height = height;
    picture->pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    // RGBX lands in memory as R, G, B, X: 0xXXBBGGRR on this little-endian
    // machine; CMYK (YCCK comes back as CMYK) as C, M, Y, K: 0xKKYYMMCC. A
    // warning (a cut-off or corrupt stream) refuses the file rather than
    // showing grey where the data ended.
    const bool cmyk = colourSpace == TJCS_CMYK || colourSpace == TJCS_YCCK;
    if (tjDecompress2(h.get(), data, length, reinterpret_cast<unsigned char*>(picture->pixels.data()), width,
                      width * 4, height, cmyk ? TJPF_CMYK : TJPF_RGBX,
                      TJFLAG_ACCURATEDCT | TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS) != 0) {
        return false;
    }
    for (uint32_t& p : picture->pixels) p = cmyk ? CmykToRgb(p) : p & 0xFFFFFFu;
    return true;
}

bool EncodeJpeg(const uint8_t* rgb, int width, int height, std::vector<uint8_t>* jpeg) {
    if (rgb == nullptr || jpeg == nullptr || !PictureSizeAllowed(width, height)) return false;
    Handle h(true);
    if (h.get() == nullptr) return false;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const bool ok = tjCompress2(h.get(), rgb, width, width * 3, height, TJPF_RGB, &out, &outSize, TJSAMP_444, 100,
                                TJFLAG_ACCURATEDCT) == 0;
    if (ok) jpeg->assign(out, out + outSize);
    tjFree(out);
    return ok;
}
