// Stored bitmaps drawn into the frame buffer: every kind, at the screen's edges, clipped, in bands.
// Each picture is checked pixel by pixel against the bitmap placed by hand.
#include <gtest/gtest.h>

#include "gfx/gui.h"
#include "resource/bitmap.h"
#include "tests/support/screen.h"
#include "tools/pack/image.h"

namespace {

const uint16_t kBack = 0x0841;
const int W = 13, H = 7;

uint16_t source(int x, int y) {
    return (uint16_t)(0x1000 + y * 64 + x);
}

struct Bitmaps : testing::Test {
    void SetUp() override {
        pack::Image img;
        img.records.resize(4);
        for (int i : {1, 2, 3}) {
            pack::Record &r = img.records[i];
            r.type = i == 1 ? 1 : i == 2 ? 2 : 5;
            r.width = W;
            r.height = H;
            for (int y = 0; y < H; y++)
                for (int x = 0; x < W; x++) r.pixels.push_back(source(x, y));
        }
        // The compressed one has runs of 0 on its first row; the transparent one a hole.
        for (int x = 0; x < W; x++) img.records[2].pixels[x] = 0;
        img.records[3].transparent = 0xF81F;
        for (int y = 2; y < 5; y++)
            for (int x = 3; x < 9; x++) img.records[3].pixels[y * W + x] = 0xF81F;
        std::vector<uint8_t> bin;
        std::string error;
        ASSERT_TRUE(pack::build(img, &bin, &error)) << error;
        loadImage(bin);
        freshScreen(kBack);
    }
    // The expected pixel at screen (sx, sy) for bitmap k placed at (x, y) with the screen area
    // ax0..ax1, ay0..ay1 drawn (everything else keeps the background).
    uint16_t expected(int k, int x, int y, int sx, int sy, int ax0 = -100000, int ay0 = -100000,
                      int ax1 = 100000, int ay1 = 100000) {
        int bx = sx - x, by = sy - y;
        if (bx < 0 || by < 0 || bx >= W || by >= H || sx < ax0 || sx > ax1 || sy < ay0 || sy > ay1)
            return kBack;
        if (k == 3 && by >= 2 && by < 5 && bx >= 3 && bx < 9) return kBack;
        if (k == 2 && by == 0) return 0;
        return source(bx, by);
    }
    // Compares the whole screen.
    void check(int k, int x, int y, int ax0 = -100000, int ay0 = -100000, int ax1 = 100000,
               int ay1 = 100000) {
        int wrong = 0;
        for (int sy = 0; sy < LCD_GetYSize(); sy++)
            for (int sx = 0; sx < LCD_GetXSize(); sx++)
                if (pixelAt(sx, sy) != expected(k, x, y, sx, sy, ax0, ay0, ax1, ay1)) wrong++;
        EXPECT_EQ(wrong, 0) << "bitmap " << k << " at " << x << "," << y;
    }
};

TEST_F(Bitmaps, EveryKindInsideAndAtTheEdges) {
    const int places[][2] = {{10, 20}, {-5, -3}, {795, 476}, {-12, 473}, {0, 0}};
    for (int k = 1; k <= 3; k++)
        for (auto &p : places) {
            freshScreen(kBack);
            ASSERT_EQ(QV_DrawBitmap(QV_GetExtBitmap(k), p[0], p[1]), 1);
            check(k, p[0], p[1]);
        }
    freshScreen(kBack);
    QV_DrawBitmap(QV_GetExtBitmap(1), 800, 10);
    QV_DrawBitmap(QV_GetExtBitmap(3), 10, -7);
    QV_DrawBitmap(QV_GetExtBitmap(2), -13, 100);
    EXPECT_EQ(changedPixels(kBack), 0);
    EXPECT_EQ(QV_DrawBitmap(nullptr, 0, 0), 0);
}

TEST_F(Bitmaps, CompressedInTransparentModeLeavesZeroPixels) {
    GUI_SetDrawMode(GUI_DRAWMODE_TRANS);
    QV_DrawBitmap(QV_GetExtBitmap(2), 30, 30);
    EXPECT_EQ(pixelAt(30, 30), kBack);
    EXPECT_EQ(pixelAt(31, 31), source(1, 1));
}

TEST_F(Bitmaps, CompressedObeysTheClipRectangle) {
    GUI_RECT clip = {33, 32, 36, 34};
    GUI_SetClipRect(&clip);
    QV_DrawBitmap(QV_GetExtBitmap(2), 30, 30);
    GUI_SetClipRect(nullptr);
    check(2, 30, 30, 33, 32, 36, 34);
}

TEST_F(Bitmaps, ClippedBlitsKeepToTheBitmapAndTheScreen) {
    ASSERT_EQ(QV_DrawBitmapClipAbs(QV_GetExtBitmap(1), 50, 60, 52, 61, 500, 500), 1);
    check(1, 50, 60, 52, 61, 500, 500);
    freshScreen(kBack);
    ASSERT_EQ(QV_DrawBitmapTrClipAbs(QV_GetExtBitmap(3), 790, 470, 792, 471, 2000, 2000, 0xF81F), 1);
    check(3, 790, 470, 792, 471, 2000, 2000);
    freshScreen(kBack);
    // Corners out of order, or a rectangle starting before the bitmap: nothing, and failure.
    EXPECT_EQ(QV_DrawBitmapClipAbs(QV_GetExtBitmap(1), 50, 60, 55, 61, 54, 65), 0);
    EXPECT_EQ(QV_DrawBitmapClipAbs(QV_GetExtBitmap(1), 50, 60, 49, 61, 54, 65), 0);
    EXPECT_EQ(QV_DrawBitmapTrClipAbs(QV_GetExtBitmap(3), 50, 60, 50, 59, 54, 65, 0), 0);
    EXPECT_EQ(QV_DrawBitmapClipAbs(QV_GetExtBitmap(2), 50, 60, 50, 60, 54, 65), 0); // no raw pixels
    EXPECT_EQ(changedPixels(kBack), 0);
}

TEST_F(Bitmaps, BandsOfAPlainBitmap) {
    // Columns 4..6 with their corner at (100, 50).
    ASSERT_EQ(QV_DrawBitmapCutOff(QV_GetExtBitmap(1), 100, 50, 4, 0, 7, H), 1);
    check(1, 96, 50, 100, 50, 102, 50 + H - 1);
    freshScreen(kBack);
    // Rows 5..20 of a 7-row bitmap: only rows 5 and 6 exist.
    ASSERT_EQ(QV_DrawBitmapCutOff(QV_GetExtBitmap(1), 100, 50, 0, 5, W, 21), 1);
    check(1, 100, 45, 100, 50, 100 + W - 1, 51);
    freshScreen(kBack);
    // Offsets before the bitmap start at its first column; nothing is drawn left of it.
    ASSERT_EQ(QV_DrawBitmapCutOff(QV_GetExtBitmap(1), 100, 50, -3, 0, 2, H), 1);
    check(1, 103, 50, 103, 50, 104, 50 + H - 1);
    freshScreen(kBack);
    QV_DrawBitmapCutOff(QV_GetExtBitmap(1), 100, 50, 20, 0, 30, H);
    QV_DrawBitmapCutOff(QV_GetExtBitmap(1), 100, 50, 0, 3, W, 3);
    EXPECT_EQ(changedPixels(kBack), 0);
}

TEST_F(Bitmaps, TransparentBlitWithAnyColour) {
    ASSERT_EQ(QV_DrawBitmapTr(QV_GetExtBitmap(1), 5, 5, source(2, 2)), 1);
    EXPECT_EQ(pixelAt(7, 7), kBack);
    EXPECT_EQ(pixelAt(8, 7), source(3, 2));
    EXPECT_EQ(QV_DrawBitmapTr(QV_GetExtBitmap(2), 5, 5, 0), 0);
}

TEST_F(Bitmaps, OnlyCompressedBitmapsAreRefusedForRawPixels) {
    EXPECT_EQ(screenCompressedBitmap(QV_GetExtBitmap(1)), 1);
    EXPECT_EQ(screenCompressedBitmap(QV_GetExtBitmap(3)), 1);
    EXPECT_EQ(sent, "");
    EXPECT_EQ(screenCompressedBitmap(QV_GetExtBitmap(2)), 0);
    EXPECT_EQ(sent, ":bitmap must be uncompressed\r");
}

} // namespace
