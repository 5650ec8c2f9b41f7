// The JPEG and PNG codecs: what the content generator relies on (exact flat
// colours, 4:4:4, same bytes every time), and hostile JPEGs that broke the
// earlier decoder, refused without reading or writing astray.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "gfx/jpeg_codec.h"
#include "gfx/png_codec.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

// 24 x 16: a flat grey block on the left, a busy pattern on the right.
Bytes Source() {
    Bytes rgb(24 * 16 * 3);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x)
            for (int c = 0; c < 3; ++c)
                rgb[3 * (y * 24 + x) + c] = x < 8 ? 0xC7 : static_cast<uint8_t>((x * 37 + y * 11 + c * 80) & 0xFF);
    return rgb;
}

Bytes Jpeg() {
    Bytes jpeg;
    EXPECT_TRUE(EncodeJpeg(Source().data(), 24, 16, &jpeg));
    return jpeg;
}

size_t Find(const Bytes& b, const std::string& what, size_t from = 0) {
    for (size_t i = from; i + what.size() <= b.size(); ++i)
        if (std::equal(what.begin(), what.end(), b.begin() + static_cast<long>(i), [](char c, uint8_t u) {
                return static_cast<uint8_t>(c) == u;
            })) {
            return i;
        }
    return std::string::npos;
}

bool DecodesJpeg(const Bytes& b) {
    DecodedPicture p;
    return DecodeJpeg(b.data(), b.size(), &p);
}

TEST(JpegCodec, QualityHundredWithoutSubsamplingKeepsFlatColoursAndIsRepeatable) {
    const Bytes jpeg = Jpeg();
    EXPECT_EQ(Jpeg(), jpeg);
    // Baseline frame, three components, each sampled 1 x 1.
    const size_t frame = Find(jpeg, "\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    ASSERT_EQ(jpeg[frame + 9], 3);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(jpeg[frame + 11 + 3 * c], 0x11) << c;
    DecodedPicture p;
    ASSERT_TRUE(DecodeJpeg(jpeg.data(), jpeg.size(), &p));
    ASSERT_TRUE(p.width == 24 && p.height == 16);
    const Bytes src = Source();
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x)
            for (int c = 0; c < 3; ++c) {
                const int got = (p.pixels[y * 24 + x] >> (8 * c)) & 0xFF, want = src[3 * (y * 24 + x) + c];
                ASSERT_LE(std::abs(got - want), x < 8 ? 0 : 4) << x << "," << y << " channel " << c;
            }
    EXPECT_EQ(p.pixels[0] >> 24, 0u);  // no alpha byte
}

TEST(JpegCodec, CutOffAndOversizedFilesAreRefused) {
    const Bytes jpeg = Jpeg();
    for (size_t n = 0; n < jpeg.size(); ++n) ASSERT_FALSE(DecodesJpeg(Bytes(jpeg.begin(), jpeg.begin() + n))) << n;
    Bytes huge = jpeg;
    const size_t frame = Find(huge, "\xFF\xC0");
    huge[frame + 5] = huge[frame + 6] = huge[frame + 7] = huge[frame + 8] = 0xFD;  // 65021 x 65021
    EXPECT_FALSE(DecodesJpeg(huge));
    EXPECT_FALSE(DecodesJpeg(Bytes{0xFF, 0xD8, 0xFF}));
    EXPECT_FALSE(EncodeJpeg(Source().data(), 0, 16, &huge));
}

// Huffman tables that broke the earlier decoder: the overfull table made it
// write past a 257-byte table; the undefined table made it read
// uninitialised memory and shift by out-of-range amounts. DC symbols wider
// than 15 bits are refused likewise.
TEST(JpegCodec, HostileHuffmanTablesAreRefused) {
    const Bytes jpeg = Jpeg();
    const size_t scan = Find(jpeg, "\xFF\xDA");
    ASSERT_NE(scan, std::string::npos);

    // A table whose 16 code counts add up to 272, more than the 256 symbols
    // a table can hold, inserted before the scan.
    Bytes overfull(jpeg.begin(), jpeg.begin() + static_cast<long>(scan));
    const int length = 2 + 1 + 16 + 272;
    for (int b : {0xFF, 0xC4, length >> 8, length & 0xFF, 0x00}) overfull.push_back(static_cast<uint8_t>(b));
    overfull.insert(overfull.end(), 16, 17);
    for (int i = 0; i < 272; ++i) overfull.push_back(static_cast<uint8_t>(i));
    overfull.insert(overfull.end(), jpeg.begin() + static_cast<long>(scan), jpeg.end());

    // A DC table whose symbols ask for 31-bit differences.
    Bytes wideDc = jpeg;
    const size_t dc = Find(wideDc, "\xFF\xC4");
    ASSERT_TRUE(dc != std::string::npos && wideDc[dc + 4] == 0x00);  // class 0 (DC), table 0
    int symbols = 0;
    for (int i = 0; i < 16; ++i) symbols += wideDc[dc + 5 + i];
    for (int i = 0; i < symbols; ++i) wideDc[dc + 21 + i] = 31;

    // A progressive picture whose scans use table 3, never defined.
    const std::string dir = testsupport::MakeTempDir("quillrun-jpeg");
    ASSERT_EQ(testsupport::RunCommand("/usr/bin/convert -size 24x16 xc:gray50 -fill red -draw 'rectangle 3,3 15,12' "
                                      "-quality 90 -interlace Plane JPEG:'" + dir + "/p.jpg' 2>&1"), 0);
    const std::string file = testsupport::ReadFile(dir + "/p.jpg");
    testsupport::RemoveTree(dir);
    Bytes undefinedTable(file.begin(), file.end());
    ASSERT_NE(Find(undefinedTable, "\xFF\xC2"), std::string::npos);
    int scans = 0;
    for (size_t at = Find(undefinedTable, "\xFF\xDA"); at != std::string::npos;
         at = Find(undefinedTable, "\xFF\xDA", at + 2), ++scans) {
        const int components = undefinedTable[at + 4];
        for (int c = 0; c < components; ++c) undefinedTable[at + 6 + 2 * c] = 0x33;
    }
    ASSERT_GE(scans, 2);

    for (const auto& [what, bytes] : {std::pair{"overfull table", overfull}, std::pair{"wide DC symbols", wideDc},
                                      std::pair{"undefined table", undefinedTable}}) {
        EXPECT_FALSE(DecodesJpeg(bytes)) << what;
    }
}

// CMYK as ImageMagick writes it (YCCK, Adobe marker, ink inverted) and the
// same stream without the marker (plain CMYK), as ImageMagick shows them.
TEST(JpegCodec, CmykLooksAsImageMagickShowsIt) {
    for (const auto& [name, rgb] : {std::pair{"cmyk-adobe.jpg", 0x3D7AB7u}, std::pair{"cmyk-plain.jpg", 0x438F46u}}) {
        const std::string file = testsupport::ReadFile(QUILLRUN_SOURCE_DIR "/tests/unit/gfx/" + std::string(name));
        DecodedPicture p;
        ASSERT_TRUE(DecodeJpeg(reinterpret_cast<const uint8_t*>(file.data()), file.size(), &p)) << name;
        for (int c = 0; c < 24; c += 8) EXPECT_NEAR(p.pixels.back() >> c & 0xFF, rgb >> c & 0xFF, 1) << name << c;
    }
}

TEST(PngCodec, RoundTripKeepsEveryChannelAndDamageIsRefused) {
    Bytes rgba(5 * 3 * 4);
    for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 41);
    Bytes png;
    ASSERT_TRUE(EncodePng(rgba.data(), 5, 3, 4, &png));
    DecodedPicture p;
    ASSERT_TRUE(DecodePng(png.data(), png.size(), &p));
    ASSERT_TRUE(p.width == 5 && p.height == 3);
    for (size_t i = 0; i < p.pixels.size(); ++i)
        EXPECT_EQ(p.pixels[i], rgba[4 * i] | rgba[4 * i + 1] << 8 | rgba[4 * i + 2] << 16 |
                                   static_cast<uint32_t>(rgba[4 * i + 3]) << 24) << i;
    ASSERT_TRUE(EncodePng(rgba.data(), 4, 3, 3, &png));  // R, G, B: opaque
    ASSERT_TRUE(DecodePng(png.data(), png.size(), &p));
    EXPECT_EQ(p.pixels[0], 0xFF000000u | rgba[0] | rgba[1] << 8 | rgba[2] << 16);
    // Cut anywhere before the end chunk (12 bytes, which libpng does not need).
    for (size_t n = 0; n < png.size() - 12; ++n) ASSERT_FALSE(DecodePng(png.data(), n, &p)) << n;
    Bytes flipped = png;
    flipped[Find(png, "IDAT") + 6] ^= 0x55;  // inside the compressed pixels: the checksum fails
    EXPECT_FALSE(DecodePng(flipped.data(), flipped.size(), &p));
}

}  // namespace
