// The BMP reader: every layout against the pixels ImageMagick reads from the
// same file, and damaged or hostile files refused without reading astray.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "gfx/bmp_reader.h"
#include "test_support.h"

namespace {

using testsupport::ReadFile;

bool Decode(const std::string& file, DecodedPicture* picture) {
    return DecodeBmp(reinterpret_cast<const uint8_t*>(file.data()), file.size(), picture);
}
bool Decodes(const std::string& file) {
    DecodedPicture picture;
    return Decode(file, &picture);
}

void Put(std::string& s, size_t at, uint32_t v, int bytes) {
    std::string little;
    for (int i = 0; i < bytes; ++i) little.push_back(static_cast<char>(v >> (8 * i)));
    s.replace(at, little.size(), little);
}
std::string Patched(std::string s, size_t at, uint32_t v, int bytes = 4) {
    Put(s, at, v, bytes);
    return s;
}

// The samples: written by tests/unit/gfx/make_bmp_samples.py into one folder
// for the whole suite, with ImageMagick's pixels for each.
class BmpReader : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = testsupport::MakeTempDir("quillrun-bmp");
        std::string out;
        status = testsupport::RunCommand("/usr/bin/python3 '" QUILLRUN_SOURCE_DIR
                                         "/tests/unit/gfx/make_bmp_samples.py' '" + dir + "' 2>&1", &out);
        log = out;
    }
    static void TearDownTestSuite() { testsupport::RemoveTree(dir); }
    void SetUp() override { ASSERT_EQ(status, 0) << log; }
    static std::string Sample(const std::string& name) { return ReadFile(dir + "/" + name + ".bmp"); }
    static inline std::string dir, log;
    static inline int status = -1;
};

TEST_F(BmpReader, EveryLayoutReadsAsAnotherDecoderReadsIt) {
    std::ifstream manifest(dir + "/samples.txt");
    std::string name, agree;
    int width = 0, height = 0, samples = 0;
    while (manifest >> name >> width >> height >> agree) {
        SCOPED_TRACE(name);
        ++samples;
        DecodedPicture picture;
        ASSERT_TRUE(Decode(Sample(name), &picture));
        ASSERT_EQ(picture.width * 1000 + picture.height, width * 1000 + height);
        const std::string want = ReadFile(dir + "/" + name + ".rgb");
        ASSERT_EQ(want.size(), picture.pixels.size() * 3);
        long differ = 0;
        std::string first;
        for (size_t i = 0; i < picture.pixels.size(); ++i) {
            const auto* p = reinterpret_cast<const uint8_t*>(want.data() + 3 * i);
            const uint32_t expected = p[0] | (p[1] << 8) | (static_cast<uint32_t>(p[2]) << 16);
            if (picture.pixels[i] == expected) continue;
            if (differ++ == 0) {
                first = "first at x " + std::to_string(i % width) + " y " + std::to_string(i / width) + ": " +
                        std::to_string(picture.pixels[i]) + " instead of " + std::to_string(expected);
            }
        }
        EXPECT_EQ(differ, 0) << first;
    }
    EXPECT_GE(samples, 30);
}

// The samples are the layouts their names claim: header size, bits per
// pixel, compression, row order.
TEST_F(BmpReader, SamplesHaveTheLayoutsTheyNameTheirLayouts) {
    struct Case {
        const char* name;
        uint32_t headerSize, bpp, compression;
        bool topDown;
    };
    const Case cases[] = {
        {"pal1_v3", 40, 1, 0, false},           {"pal4_core", 12, 4, 0, false},
        {"pal8_v5_top_down", 124, 8, 0, true},  {"rle8", 40, 8, 1, false},
        {"rle4", 40, 4, 2, false},              {"rle4_up_delta", 40, 4, 2, false},
        {"rle8_v5_gap", 124, 8, 1, false},      {"magick_bmp3_rle8", 40, 8, 1, false},
        {"rgb565_v3_bitfields", 40, 16, 3, false}, {"rgb555_v3_plain", 40, 16, 0, false},
        {"rgb555_v4_bitfields", 108, 16, 3, false}, {"magick_rgb565", 124, 16, 3, false},
        {"bgra32_v4_alpha_mask", 108, 32, 3, false}, {"rgba32_v5_alpha_mask", 124, 32, 3, false},
        {"rgb24_v3_top_down", 40, 24, 0, true}, {"magick_bmp2_core_24", 12, 24, 0, false},
        {"pil_bilevel", 40, 1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string s = Sample(c.name);
        ASSERT_GT(s.size(), 54u);
        auto u32 = [&](size_t at) { uint32_t v; std::memcpy(&v, s.data() + at, 4); return v; };
        EXPECT_EQ(u32(14), c.headerSize);
        if (c.headerSize == 12) {
            EXPECT_EQ(static_cast<uint8_t>(s[24]), c.bpp);
            continue;
        }
        EXPECT_EQ(static_cast<uint8_t>(s[28]), c.bpp);
        EXPECT_EQ(u32(30), c.compression);
        EXPECT_EQ(static_cast<int32_t>(u32(22)) < 0, c.topDown);
    }
    const std::string gap = Sample("rgb24_v3_gap_and_trailing_bytes");
    EXPECT_EQ(static_cast<uint8_t>(gap[10]), 54 + 100);  // the pixels start 100 bytes after the header
}

TEST_F(BmpReader, EveryCutOffFileIsRefused) {
    for (const char* name : {"rle8", "rle4_up_delta", "pal4_v3", "rgb565_v3_bitfields", "magick_bmp_v5_24",
                             "rgb24_core"}) {
        const std::string s = Sample(name);
        for (size_t n = 0; n < s.size(); ++n) ASSERT_FALSE(Decodes(s.substr(0, n))) << name << " cut to " << n;
        ASSERT_TRUE(Decodes(s)) << name;
    }
}

TEST_F(BmpReader, HostileHeadersAreRefused) {
    const std::string rgb = Sample("magick_bmp3_24"), pal = Sample("pal8_v3_200_colours");
    const std::string bits = Sample("rgb565_v3_bitfields"), rle = Sample("rle8");
    const std::pair<const char*, std::string> cases[] = {
        {"not a bitmap", "BX" + rgb.substr(2)},
        {"width 60000", Patched(rgb, 18, 60000)},
        {"height 60000", Patched(rgb, 22, 60000)},
        {"32767 x 32767", Patched(Patched(rgb, 18, 32767), 22, 32767)},
        {"width 0", Patched(rgb, 18, 0)},
        {"negative width", Patched(rgb, 18, static_cast<uint32_t>(-37))},
        {"most negative height", Patched(rgb, 22, 0x80000000u)},
        {"height 2^31 - 1", Patched(rgb, 22, 0x7FFFFFFFu)},
        {"pixels past the end", Patched(rgb, 10, static_cast<uint32_t>(rgb.size()) - 10)},
        {"pixels at 2^32 - 1", Patched(rgb, 10, 0xFFFFFFFFu)},
        {"pixels inside the header", Patched(rgb, 10, 20)},
        {"header size 2^32 - 1", Patched(rgb, 14, 0xFFFFFFFFu)},
        {"header running into the pixels", Patched(rgb, 14, 124)},
        {"7 bits per pixel", Patched(rgb, 28, 7, 2)},
        {"embedded JPEG", Patched(rgb, 30, 4)},
        {"embedded PNG", Patched(rgb, 30, 5)},
        {"RLE8 of 24-bit pixels", Patched(rle, 28, 24, 2)},
        {"RLE4 of 8-bit pixels", Patched(rle, 30, 2)},
        {"mask with a gap", Patched(bits, 54, 0xF00F)},
        {"bit fields of 8-bit pixels", Patched(Patched(pal, 30, 3), 28, 8, 2)},
    };
    for (const auto& [what, bytes] : cases) EXPECT_FALSE(Decodes(bytes)) << what;
    // A palette larger than the pixels can index is read up to 256 entries.
    EXPECT_TRUE(Decodes(Patched(pal, 46, 0xFFFFFFFFu)));
}

// A 4 x 3 RLE8 (or RLE4) picture with the given codes.
std::string RunLengths(const std::string& codes, int compression = 1) {
    std::string s(14 + 40 + 16 * 4, '\0');
    s[0] = 'B';
    s[1] = 'M';
    Put(s, 10, static_cast<uint32_t>(s.size()), 4);
    Put(s, 14, 40, 4);
    Put(s, 18, 4, 4);
    Put(s, 22, 3, 4);
    Put(s, 26, 1, 2);
    Put(s, 28, compression == 1 ? 8 : 4, 2);
    Put(s, 30, static_cast<uint32_t>(compression), 4);
    Put(s, 46, 16, 4);
    for (int i = 0; i < 16; ++i) Put(s, 54 + 4 * i, 0x111111u * i, 4);
    return s + codes;
}

TEST_F(BmpReader, RunsOutsideThePictureAreRefused) {
    using namespace std::string_literals;
    DecodedPicture good;
    // Bottom row absolute 1 2 3 4; end of line; a delta (1 right, 1 up)
    // skips the middle row; a run of two 7s; end of picture.
    ASSERT_TRUE(Decode(RunLengths("\0\x04\x01\x02\x03\x04\0\0\0\x02\x01\x01\x02\x07\0\x01"s), &good));
    EXPECT_EQ(good.pixels, (std::vector<uint32_t>{0, 0x777777, 0x777777, 0, 0, 0, 0, 0, 0x111111, 0x222222,
                                                  0x333333, 0x444444}));
    // Runs past the right edge are cut there: ImageMagick codes the padding
    // of odd-width rows as pixels.
    ASSERT_TRUE(Decode(RunLengths("\x06\x01\x02\x03\0\0\0\x05\x04\x05\x06\x07\x08\0\0\0\0\x01"s), &good));
    EXPECT_EQ(good.pixels, (std::vector<uint32_t>{0, 0, 0, 0, 0x444444, 0x555555, 0x666666, 0x777777, 0x111111,
                                                  0x111111, 0x111111, 0x111111}));
    const std::pair<const char*, std::string> cases[] = {
        {"run above the top row", RunLengths("\0\0\0\0\0\0\x01\x01\0\x01"s)},
        {"absolute run past the data", RunLengths("\0\x04\x01\x02"s)},
        {"delta past the right edge", RunLengths("\0\x02\x05\0\0\x01"s)},
        {"delta past the top", RunLengths("\0\x02\0\x04\0\x01"s)},
        {"rows past the top", RunLengths("\0\0\0\0\0\0\0\0\x01\x01\0\x01"s)},
        {"no end of picture", RunLengths("\x04\x01\0\0\x04\x01\0\0\x04\x01"s)},
        {"half a code", RunLengths("\x04"s)},
        {"delta cut off", RunLengths("\0\x02\x01"s)},
        {"RLE4 absolute run past the data", RunLengths("\0\x04\x12"s, 2)},
    };
    for (const auto& [what, bytes] : cases) EXPECT_FALSE(Decodes(bytes)) << what;
}

}  // namespace
