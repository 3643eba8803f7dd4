// Bitmap objects through every methods table and palette, and the BMP screen dump.
#include <gtest/gtest.h>

#include <string.h>

#include "tests/gfx/picture.h"

namespace {

// A 6 x 3 picture: a red, green, blue, white, black and grey column.
const uint16_t colsM565[6] = {0xF800, 0x07E0, 0x001F, 0xFFFF, 0x0000, 0x8410};

std::vector<uint8_t> le16(const std::vector<uint16_t> &v) {
    std::vector<uint8_t> out;
    for (uint16_t x : v) {
        out.push_back((uint8_t)x);
        out.push_back((uint8_t)(x >> 8));
    }
    return out;
}

uint16_t swap(uint16_t v) {
    return (uint16_t)(((v & 0x1F) << 11) | (v & 0x7E0) | (v >> 11));
}

} // namespace

TEST(Bitmaps, SixteenBitLayouts) {
    freshScreen();
    std::vector<uint16_t> pix, pixBlueHigh;
    for (int r = 0; r < 3; r++)
        for (uint16_t c : colsM565) {
            pix.push_back(c);
            pixBlueHigh.push_back(swap(c));
        }
    auto m = le16(pix), b = le16(pixBlueHigh);
    GUI_BITMAP bmM = {6, 3, 12, 16, m.data(), nullptr, &GUI_BitmapMethodsM565};
    GUI_BITMAP bmB = {6, 3, 12, 16, b.data(), nullptr, &GUI_BitmapMethods565};
    GUI_BITMAP bmPlain = {6, 3, 12, 16, m.data(), nullptr, nullptr};
    GUI_DrawBitmap(&bmM, 10, 10);
    GUI_DrawBitmap(&bmB, 10, 20);
    GUI_DrawBitmap(&bmPlain, 10, 30);
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 6; c++) {
            EXPECT_EQ(px(10 + c, 10 + r), colsM565[c]);
            EXPECT_EQ(px(10 + c, 20 + r), colsM565[c]);
            EXPECT_EQ(px(10 + c, 30 + r), colsM565[c]);
        }
    // Clipped at the left and top screen edges and by the clip rectangle.
    GUI_DrawBitmap(&bmM, -2, -1);
    EXPECT_EQ(px(0, 0), 0x001F);
    EXPECT_EQ(px(3, 1), 0x8410);
    GUI_RECT clip = {101, 0, 102, 799};
    GUI_SetClipRect(&clip);
    GUI_DrawBitmap(&bmM, 100, 50);
    GUI_SetClipRect(nullptr);
    EXPECT_EQ(px(100, 50), 0xFFFF);
    EXPECT_EQ(px(101, 50), 0x07E0);
    EXPECT_EQ(px(103, 50), 0xFFFF);
}

TEST(Bitmaps, RunLengthStreamsAcrossRowsAndTransparency) {
    // 5 x 3: a run of 7 red (crossing into row 1), a literal of 3, then a run of 5 zero pixels.
    std::vector<uint8_t> s = {7, 0x00, 0xF8, 0, 3, 0x1F, 0x00, 0xE0, 0x07, 0xFF, 0xFF, 5, 0x00, 0x00};
    GUI_BITMAP bm = {5, 3, 10, 16, s.data(), nullptr, &GUI_BitmapMethodsRLEM16};
    freshScreen();
    GUI_DrawBitmap(&bm, 20, 20);
    const uint16_t expect[3][5] = {
        {0xF800, 0xF800, 0xF800, 0xF800, 0xF800}, {0xF800, 0xF800, 0x001F, 0x07E0, 0xFFFF}, {0, 0, 0, 0, 0}};
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 5; c++) EXPECT_EQ(px(20 + c, 20 + r), expect[r][c]) << r << "," << c;
    GUI_SetColor(0x00FF00);
    GUI_FillRect(40, 20, 44, 22);
    GUI_SetDrawMode(GUI_DRAWMODE_TRANS);
    GUI_DrawBitmap(&bm, 40, 20);
    GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    EXPECT_EQ(px(40, 22), 0x07E0); // zero pixels left undrawn
    EXPECT_EQ(px(41, 21), 0xF800);
    // The blue-high stream swaps red and blue.
    GUI_BITMAP bm16 = {5, 3, 10, 16, s.data(), nullptr, &GUI_BitmapMethodsRLE16};
    GUI_DrawBitmap(&bm16, 60, 20);
    EXPECT_EQ(px(60, 20), 0x001F);
    EXPECT_EQ(px(62, 21), 0xF800);
    // A literal packet with count 0 carries 256 pixels.
    std::vector<uint8_t> lit = {0, 0};
    for (int i = 0; i < 256; i++) {
        lit.push_back((uint8_t)i);
        lit.push_back(0);
    }
    GUI_BITMAP wide = {256, 1, 512, 16, lit.data(), nullptr, &GUI_BitmapMethodsRLEM16};
    GUI_DrawBitmap(&wide, 0, 100);
    EXPECT_EQ(px(255, 100), 255);
    EXPECT_EQ(px(256, 100), 0xFFFF);
}

TEST(Bitmaps, EightBitRunLengthAndPaletteBitmaps) {
    const GUI_COLOR colours[] = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
    GUI_LOGPALETTE pal = {4, 0, colours};
    std::vector<uint8_t> s = {3, 1, 0, 2, 2, 3, 4, 0};
    GUI_BITMAP bm = {3, 3, 3, 8, s.data(), &pal, &GUI_BitmapMethodsRLE8};
    freshScreen();
    GUI_DrawBitmap(&bm, 10, 10);
    EXPECT_EQ(px(12, 10), 0xF800);
    EXPECT_EQ(px(10, 11), 0x07E0);
    EXPECT_EQ(px(11, 11), 0x001F);
    EXPECT_EQ(px(12, 12), 0x0000);
    // 1 bit per pixel with a transparent entry 0; 4 bits per pixel, leftmost pixel high.
    const GUI_COLOR two[] = {0x00FF00, 0x0000FF};
    GUI_LOGPALETTE palT = {2, 1, two};
    const uint8_t bits[] = {0xA5, 0x80};
    GUI_BITMAP one = {9, 1, 2, 1, bits, &palT, nullptr};
    GUI_DrawBitmap(&one, 30, 10);
    EXPECT_EQ(px(30, 10), 0xF800);
    EXPECT_EQ(px(31, 10), 0xFFFF); // transparent
    EXPECT_EQ(px(38, 10), 0xF800);
    const uint8_t nibbles[] = {0x12, 0x30};
    GUI_BITMAP four = {3, 1, 2, 4, nibbles, &pal, nullptr};
    GUI_DrawBitmap(&four, 50, 10);
    EXPECT_EQ(px(50, 10), 0xF800);
    EXPECT_EQ(px(51, 10), 0x07E0);
    EXPECT_EQ(px(52, 10), 0x001F);
}

TEST(Bitmaps, XorModeInvertsWhereTheBitmapDraws) {
    freshScreen();
    std::vector<uint8_t> s = {4, 0x00, 0xF8, 0, 2, 0, 0, 1, 0};
    GUI_BITMAP bm = {3, 2, 6, 16, s.data(), nullptr, &GUI_BitmapMethodsRLEM16};
    GUI_SetDrawMode(GUI_DRAWMODE_XOR);
    GUI_DrawBitmap(&bm, 0, 0);
    EXPECT_EQ(px(0, 0), 0x0000);
    GUI_DrawBitmap(&bm, 0, 0);
    GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    EXPECT_EQ(countValue(0, 0, 799, 479, 0xFFFF), 800 * 480);
}

static void collect(uint8_t b, void *arg) {
    ((std::vector<uint8_t> *)arg)->push_back(b);
}

TEST(ScreenDump, BmpHeaderAndBottomUpRows) {
    freshScreen();
    GUI_SetColor(0x0000FF);
    GUI_DrawPixel(0, 479); // bottom-left: the first pixel of the file
    GUI_SetColor(0xFF0000);
    GUI_DrawPixel(799, 0); // top-right: the last
    std::vector<uint8_t> f;
    GUI_BMP_Serialize(collect, &f);
    ASSERT_EQ(f.size(), 54u + 800 * 480 * 2);
    auto u32 = [&](size_t o) { return f[o] | f[o + 1] << 8 | f[o + 2] << 16 | (uint32_t)f[o + 3] << 24; };
    EXPECT_EQ(f[0], 'B');
    EXPECT_EQ(f[1], 'M');
    EXPECT_EQ(u32(2), f.size());
    EXPECT_EQ(u32(6), 0u);
    EXPECT_EQ(u32(10), 54u);
    EXPECT_EQ(u32(14), 40u);
    EXPECT_EQ(u32(18), 800u);
    EXPECT_EQ(u32(22), 480u);
    EXPECT_EQ(f[26] | f[27] << 8, 1);
    EXPECT_EQ(f[28] | f[29] << 8, 16);
    for (size_t o = 30; o < 54; o++) EXPECT_EQ(f[o], 0) << o;
    EXPECT_EQ(f[54] | f[55] << 8, 0x7C00);                     // red in bits 14-10
    EXPECT_EQ(f[f.size() - 2] | f[f.size() - 1] << 8, 0x001F); // blue in bits 4-0
    EXPECT_EQ(f[56] | f[57] << 8, 0x7FFF);                     // white
}
