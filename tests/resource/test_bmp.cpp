// The BMP decoder on files written here by the format's rules: bit depths, palettes, both row
// orders, run-length compression, the size limit and refused formats.
#include <string.h>

#include <gtest/gtest.h>

#include "gfx/bmp_decode.h"
#include "gfx/gui.h"
#include "tests/support/screen.h"

namespace {

const uint16_t kBack = 0x0841;

struct Bmp {
    std::vector<uint8_t> b;
    void u16(uint32_t v) {
        b.push_back((uint8_t)v);
        b.push_back((uint8_t)(v >> 8));
    }
    void u32(uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    // Headers for w x h (h negative: top-down), bpp, compression, palette of n colours.
    Bmp(int32_t w, int32_t h, int bpp, int compression, std::vector<uint32_t> palette = {}) {
        b = {'B', 'M'};
        u32(0);
        u32(0);
        u32(54 + 4 * (uint32_t)palette.size());
        u32(40);
        u32((uint32_t)w);
        u32((uint32_t)h);
        u16(1);
        u16((uint32_t)bpp);
        u32((uint32_t)compression);
        u32(0);
        u32(2835);
        u32(2835);
        u32((uint32_t)palette.size());
        u32(0);
        for (uint32_t c : palette) u32(c); // 0x00RRGGBB as B, G, R, 0
    }
    void row(std::vector<uint8_t> bytes) {
        while (bytes.size() % 4) bytes.push_back(0);
        b.insert(b.end(), bytes.begin(), bytes.end());
    }
    void raw(std::vector<uint8_t> bytes) { b.insert(b.end(), bytes.begin(), bytes.end()); }
    int draw(int x, int y) const { return GUI_BMP_Draw(b.data(), (uint32_t)b.size(), x, y); }
};

uint16_t c565(uint32_t rgb) {
    return LCD_Color2Index((rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16);
}

struct Decoder : testing::Test {
    void SetUp() override { freshScreen(kBack); }
};

TEST_F(Decoder, TwentyFourBitsBottomUpAndTopDown) {
    Bmp up(3, 2, 24, 0);
    up.row({0, 0, 255, 0, 255, 0, 255, 0, 0}); // bottom row: red, green, blue
    up.row({255, 255, 255, 0, 0, 0, 0, 255, 255});
    EXPECT_EQ(up.draw(10, 20), 0);
    EXPECT_EQ(pixelAt(10, 21), c565(0xFF0000));
    EXPECT_EQ(pixelAt(11, 21), c565(0x00FF00));
    EXPECT_EQ(pixelAt(12, 21), c565(0x0000FF));
    EXPECT_EQ(pixelAt(10, 20), c565(0xFFFFFF));
    EXPECT_EQ(pixelAt(12, 20), c565(0xFFFF00));
    EXPECT_EQ(changedPixels(kBack), 6);
    freshScreen(kBack);
    Bmp down(3, -2, 24, 0);
    down.row({0, 0, 255, 0, 255, 0, 255, 0, 0});
    down.row({255, 255, 255, 0, 0, 0, 0, 255, 255});
    EXPECT_EQ(down.draw(10, 20), 0);
    EXPECT_EQ(pixelAt(10, 20), c565(0xFF0000));
    EXPECT_EQ(pixelAt(12, 21), c565(0xFFFF00));
}

TEST_F(Decoder, PaletteDepths) {
    Bmp one(10, 1, 1, 0, {0x000000, 0xFFFFFF});
    one.row({0xA0, 0x40}); // 1010 0000 01..
    EXPECT_EQ(one.draw(0, 0), 0);
    EXPECT_EQ(pixelAt(0, 0), c565(0xFFFFFF));
    EXPECT_EQ(pixelAt(1, 0), c565(0x000000));
    EXPECT_EQ(pixelAt(2, 0), c565(0xFFFFFF));
    EXPECT_EQ(pixelAt(9, 0), c565(0xFFFFFF));
    Bmp four(3, 1, 4, 0, {0x102030, 0x405060, 0x708090});
    four.row({0x12, 0x00});
    EXPECT_EQ(four.draw(0, 5), 0);
    EXPECT_EQ(pixelAt(0, 5), c565(0x405060));
    EXPECT_EQ(pixelAt(1, 5), c565(0x708090));
    EXPECT_EQ(pixelAt(2, 5), c565(0x102030));
    Bmp eight(2, 1, 8, 0, {0x000000, 0x00FF00});
    eight.row({1, 0});
    EXPECT_EQ(eight.draw(0, 9), 0);
    EXPECT_EQ(pixelAt(0, 9), c565(0x00FF00));
}

TEST_F(Decoder, SixteenAndThirtyTwoBits) {
    Bmp s(2, 1, 16, 0);
    s.row({0x00, 0x7C, 0x1F, 0x00}); // 5-5-5: red, blue
    EXPECT_EQ(s.draw(0, 0), 0);
    EXPECT_EQ(pixelAt(0, 0), c565(0xFF0000));
    EXPECT_EQ(pixelAt(1, 0), c565(0x0000FF));
    Bmp t(1, 1, 32, 0);
    t.row({0x10, 0x80, 0xF0, 0xFF});
    EXPECT_EQ(t.draw(5, 5), 0);
    EXPECT_EQ(pixelAt(5, 5), c565(0xF08010));
}

TEST_F(Decoder, RunLengthEightAndFour) {
    Bmp r8(6, 2, 8, 1, {0x000000, 0xFF0000, 0x0000FF});
    r8.raw({3, 1, 0, 3, 2, 1, 0, 0}); // bottom row: 3 red, then 2 1 0 as an absolute run (padded)
    r8.raw({0, 2, 2, 1, 2, 2, 0, 1}); // delta 2 right and 1 down, a run beyond the width, end of bitmap
    EXPECT_EQ(r8.draw(20, 20), 0);
    EXPECT_EQ(pixelAt(20, 21), c565(0xFF0000));
    EXPECT_EQ(pixelAt(22, 21), c565(0xFF0000));
    EXPECT_EQ(pixelAt(23, 21), c565(0x0000FF));
    EXPECT_EQ(pixelAt(24, 21), c565(0xFF0000));
    EXPECT_EQ(pixelAt(25, 21), c565(0x000000));
    EXPECT_EQ(changedPixels(kBack), 6);
    freshScreen(kBack);
    Bmp r4(5, 1, 4, 2, {0x000000, 0xFF0000, 0x00FF00});
    r4.raw({5, 0x12, 0, 1}); // five pixels alternating 1 and 2
    EXPECT_EQ(r4.draw(0, 0), 0);
    EXPECT_EQ(pixelAt(0, 0), c565(0xFF0000));
    EXPECT_EQ(pixelAt(1, 0), c565(0x00FF00));
    EXPECT_EQ(pixelAt(4, 0), c565(0xFF0000));
}

TEST_F(Decoder, SizeLimitAndRefusedFormats) {
    Bmp wide(1025, 10, 24, 0);
    wide.b.resize(wide.b.size() + 3076 * 10);
    EXPECT_NE(wide.draw(0, 0), 0);
    Bmp fields(4, 4, 24, 3);
    fields.b.resize(fields.b.size() + 64);
    EXPECT_NE(fields.draw(0, 0), 0);
    Bmp two(4, 4, 2, 0);
    two.b.resize(two.b.size() + 16);
    EXPECT_NE(two.draw(0, 0), 0);
    std::vector<uint8_t> notBmp(100, 0);
    EXPECT_NE(GUI_BMP_Draw(notBmp.data(), 100, 0, 0), 0);
    EXPECT_EQ(changedPixels(kBack), 0);
    Bmp big(1024, 1024, 24, 0);
    big.b.resize(big.b.size() + 1024 * 1024 * 3, 0x40);
    EXPECT_EQ(big.draw(0, 0), 0);
    EXPECT_EQ(changedPixels(kBack), LCD_GetXSize() * LCD_GetYSize());
    EXPECT_EQ(GUI_BMP_GetXSize(big.b.data(), (uint32_t)big.b.size()), 1024);
}

TEST_F(Decoder, ATruncatedFileDrawsWhatItHolds) {
    Bmp t(2, 3, 24, 0);
    t.row({0, 0, 255, 0, 0, 255});
    t.row({0, 0, 255, 0, 0, 255});
    EXPECT_NE(t.draw(0, 0), 0); // the top row is missing
    EXPECT_EQ(changedPixels(kBack), 4);
}

} // namespace
