// The GIF and JPEG decoders on files written here by the formats' rules: frames, delays, positions,
// transparency, local tables, interlace, disposal and comments; damaged, refused and oversized
// files; data sources that hand out a byte at a time; the clip rectangle; the pool given back.
#include <string.h>

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gfx/gif_decode.h"
#include "gfx/gui.h"
#include "gfx/jpeg_decode.h"
#include "tests/support/screen.h"

namespace {

const uint16_t kBack = 0x0841;

// ---- a GIF writer ---------------------------------------------------------------------------------
struct Frame {
    int x = 0, y = 0, w = 0, h = 0;
    int delay = 0, disposal = 0, transparent = -1;
    bool interlace = false;
    std::vector<uint32_t> local; // 0xRRGGBB; empty: the global table
    std::vector<uint8_t> pixels; // row after row, in display order
};

struct Gif {
    int w, h;
    std::vector<uint32_t> global;
    int background = 0;
    std::vector<Frame> frames;
    std::string comment;

    static void table(std::vector<uint8_t> &b, const std::vector<uint32_t> &t, int bits) {
        for (int i = 0; i < (2 << bits); i++) {
            const uint32_t c = i < (int)t.size() ? t[i] : 0;
            b.insert(b.end(), {(uint8_t)(c >> 16), (uint8_t)(c >> 8), (uint8_t)c});
        }
    }
    // Literal codes only, with a clear code before the table would make the codes longer.
    static void lzw(std::vector<uint8_t> &b, const std::vector<uint8_t> &pixels, int min) {
        const uint32_t clear = 1u << min, size = min + 1;
        std::vector<uint8_t> bytes;
        uint32_t acc = 0, bits = 0;
        auto put = [&](uint32_t code) {
            acc |= code << bits;
            bits += size;
            while (bits >= 8) {
                bytes.push_back((uint8_t)acc);
                acc >>= 8;
                bits -= 8;
            }
        };
        put(clear);
        uint32_t run = 0;
        for (uint8_t p : pixels) {
            if (run == clear - 2) {
                put(clear);
                run = 0;
            }
            put(p);
            run++;
        }
        put(clear + 1);
        if (bits) bytes.push_back((uint8_t)acc);
        b.push_back((uint8_t)min);
        for (size_t i = 0; i < bytes.size(); i += 255) {
            const size_t n = std::min<size_t>(255, bytes.size() - i);
            b.push_back((uint8_t)n);
            b.insert(b.end(), bytes.begin() + (long)i, bytes.begin() + (long)(i + n));
        }
        b.push_back(0);
    }
    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> b = {
            'G', 'I', 'F', '8', '9', 'a', (uint8_t)w, (uint8_t)(w >> 8), (uint8_t)h, (uint8_t)(h >> 8)};
        b.push_back(global.empty() ? 0 : 0xF3); // a table of 16
        b.push_back((uint8_t)background);
        b.push_back(0);
        if (!global.empty()) table(b, global, 3);
        if (!comment.empty()) {
            b.insert(b.end(), {0x21, 0xFE, (uint8_t)comment.size()});
            b.insert(b.end(), comment.begin(), comment.end());
            b.push_back(0);
        }
        for (const Frame &f : frames) {
            const uint8_t packed = (uint8_t)(f.disposal << 2 | (f.transparent >= 0));
            b.insert(b.end(), {0x21, 0xF9, 4, packed, (uint8_t)f.delay, (uint8_t)(f.delay >> 8),
                               (uint8_t)(f.transparent >= 0 ? f.transparent : 0), 0});
            b.insert(b.end(), {0x2C, (uint8_t)f.x, (uint8_t)(f.x >> 8), (uint8_t)f.y, (uint8_t)(f.y >> 8),
                               (uint8_t)f.w, (uint8_t)(f.w >> 8), (uint8_t)f.h, (uint8_t)(f.h >> 8)});
            b.push_back((uint8_t)((f.local.empty() ? 0 : 0x83) | (f.interlace ? 0x40 : 0)));
            if (!f.local.empty()) table(b, f.local, 3);
            std::vector<uint8_t> stored = f.pixels;
            if (f.interlace) { // rows in the four passes' order
                stored.clear();
                const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
                for (int p = 0; p < 4; p++)
                    for (int r = start[p]; r < f.h; r += step[p])
                        stored.insert(stored.end(), f.pixels.begin() + r * f.w,
                                      f.pixels.begin() + (r + 1) * f.w);
            }
            lzw(b, stored, 4);
        }
        b.push_back(0x3B);
        return b;
    }
};

uint16_t c565(uint32_t rgb) {
    return (uint16_t)(((rgb >> 19) & 0x1F) << 11 | ((rgb >> 10) & 0x3F) << 5 | ((rgb >> 3) & 0x1F));
}

const std::vector<uint32_t> kPalette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0xFFFF00};

Frame solid(int x, int y, int w, int h, uint8_t index) {
    Frame f;
    f.x = x;
    f.y = y;
    f.w = w;
    f.h = h;
    f.pixels.assign((size_t)w * h, index);
    return f;
}

struct Decoders : testing::Test {
    void SetUp() override { freshScreen(kBack); }
    void TearDown() override { EXPECT_EQ(GUI_ALLOC_GetNumFreeBytes(), GUI_POOL_SIZE - 8); }
};

TEST_F(Decoders, FourFramesWithTheirOwnDelaysAndPositions) {
    Gif g{20, 10, kPalette};
    const int delays[4] = {5, 10, 20, 40};
    for (int k = 0; k < 4; k++) {
        g.frames.push_back(solid(k * 5, k, 5, 3, (uint8_t)(k + 1)));
        g.frames.back().delay = delays[k];
    }
    const std::vector<uint8_t> b = g.bytes();
    GUI_GIF_INFO info;
    ASSERT_EQ(0, GUI_GIF_GetInfo(b.data(), (uint32_t)b.size(), &info));
    EXPECT_EQ(20, info.xSize);
    EXPECT_EQ(10, info.ySize);
    EXPECT_EQ(4, info.NumImages);
    for (int k = 0; k < 4; k++) {
        GUI_GIF_IMAGE_INFO f;
        ASSERT_EQ(0, GUI_GIF_GetImageInfo(b.data(), (uint32_t)b.size(), &f, k));
        EXPECT_EQ(delays[k], f.Delay);
        EXPECT_EQ(k * 5, f.xPos);
        EXPECT_EQ(k, f.yPos);
        EXPECT_EQ(0, GUI_GIF_DrawSub(b.data(), (uint32_t)b.size(), 100, 50, k));
        EXPECT_EQ(c565(kPalette[k + 1]), pixelAt(100 + k * 5, 50 + k));
        EXPECT_EQ(c565(kPalette[k + 1]), pixelAt(104 + k * 5, 52 + k));
    }
    GUI_GIF_IMAGE_INFO none;
    EXPECT_NE(0, GUI_GIF_GetImageInfo(b.data(), (uint32_t)b.size(), &none, 4));
    EXPECT_NE(0, GUI_GIF_DrawSub(b.data(), (uint32_t)b.size(), 0, 0, 4));
    EXPECT_EQ(15 * 4, changedPixels(kBack));
}

TEST_F(Decoders, TransparencyLocalTableAndInterlace) {
    Gif g{8, 11, kPalette};
    Frame f = solid(0, 0, 8, 11, 0);
    for (int r = 0; r < 11; r++)
        for (int c = 0; c < 8; c++)
            f.pixels[r * 8 + c] = (uint8_t)(c == 0 ? 7 : r % 6); // column 0 transparent
    f.transparent = 7;
    f.interlace = true;
    f.local = {0x101010, 0x202020, 0x303030, 0x404040, 0x505050, 0x606060};
    g.frames.push_back(f);
    const std::vector<uint8_t> b = g.bytes();
    ASSERT_EQ(0, GUI_GIF_Draw(b.data(), (uint32_t)b.size(), 10, 10));
    for (int r = 0; r < 11; r++) {
        EXPECT_EQ(kBack, pixelAt(10, 10 + r));
        EXPECT_EQ(c565(f.local[r % 6]), pixelAt(13, 10 + r)) << r;
    }
    EXPECT_EQ(7 * 11, changedPixels(kBack));
}

TEST_F(Decoders, DisposalRestoresTheBackgroundOrWhatWasThere) {
    Gif g{10, 10, kPalette};
    g.background = 4;                           // white
    g.frames.push_back(solid(0, 0, 10, 10, 1)); // red everywhere
    g.frames.push_back(solid(2, 2, 3, 3, 2));   // green, restored to what was there
    g.frames.back().disposal = 3;
    g.frames.push_back(solid(6, 6, 2, 2, 3)); // blue, then restored to the background
    g.frames.back().disposal = 2;
    g.frames.push_back(solid(0, 0, 1, 1, 5));
    const std::vector<uint8_t> b = g.bytes();
    for (int k = 0; k < 4; k++) ASSERT_EQ(0, GUI_GIF_DrawSub(b.data(), (uint32_t)b.size(), 0, 0, k));
    EXPECT_EQ(c565(0xFF0000), pixelAt(3, 3)); // green gone, red back
    EXPECT_EQ(c565(0xFFFFFF), pixelAt(6, 6)); // blue gone, background colour
    EXPECT_EQ(c565(0xFFFF00), pixelAt(0, 0)); // the last frame
    EXPECT_EQ(c565(0xFF0000), pixelAt(9, 9));
}

TEST_F(Decoders, CommentsAreReadOut) {
    Gif g{4, 4, kPalette};
    g.comment = "made for the test";
    g.frames.push_back(solid(0, 0, 4, 4, 1));
    const std::vector<uint8_t> b = g.bytes();
    uint8_t text[64];
    ASSERT_EQ(0, GUI_GIF_GetComment(b.data(), (uint32_t)b.size(), text, sizeof text, 0));
    EXPECT_STREQ("made for the test", (const char *)text);
    ASSERT_EQ(0, GUI_GIF_GetComment(b.data(), (uint32_t)b.size(), text, 5, 0));
    EXPECT_STREQ("made", (const char *)text); // cut to the buffer
    EXPECT_NE(0, GUI_GIF_GetComment(b.data(), (uint32_t)b.size(), text, sizeof text, 1));
}

// A source that hands out one byte per request.
uint32_t oneByte(void *source, const uint8_t **data, uint32_t, uint32_t offset) {
    const std::vector<uint8_t> *b = (const std::vector<uint8_t> *)source;
    if (offset >= b->size()) return 0;
    *data = b->data() + offset;
    return 1;
}

TEST_F(Decoders, DamagedGifDrawsTheRowsDecodedAndFails) {
    Gif g{16, 16, kPalette};
    g.frames.push_back(solid(0, 0, 16, 16, 2));
    std::vector<uint8_t> b = g.bytes();
    ASSERT_EQ(0, GUI_GIF_DrawEx(oneByte, &b, 0, 0)); // byte by byte: the same picture
    EXPECT_EQ(256, changedPixels(kBack));
    freshScreen(kBack);
    b.resize(b.size() / 2);
    EXPECT_NE(0, GUI_GIF_Draw(b.data(), (uint32_t)b.size(), 0, 0));
    const int drawn = changedPixels(kBack);
    EXPECT_GT(drawn, 16);
    EXPECT_LT(drawn, 256);
    const uint8_t notGif[] = "GIF90a and more bytes than a header";
    EXPECT_NE(0, GUI_GIF_Draw(notGif, sizeof notGif, 0, 0));
    GUI_GIF_INFO info;
    EXPECT_NE(0, GUI_GIF_GetInfo(notGif, sizeof notGif, &info));
}

// ---- JPEG -------------------------------------------------------------------------------------------
std::vector<uint8_t> corpusFile(const std::string &name) {
    std::ifstream f(std::string(ZEFO_CORPUS_DIR) + "/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

TEST_F(Decoders, DamagedJpegDrawsTheBandsDecodedAndFails) {
    std::vector<uint8_t> b = corpusFile("base_2x2_q90.jpg");
    ASSERT_GT(b.size(), 1000u);
    b.resize(b.size() / 2);
    EXPECT_NE(0, GUI_JPEG_Draw(b.data(), (uint32_t)b.size(), 0, 0));
    EXPECT_NE(kBack, pixelAt(5, 5));   // the top was drawn
    EXPECT_EQ(kBack, pixelAt(5, 239)); // the bottom was not
    EXPECT_EQ(kBack, pixelAt(320, 0)); // nothing beside the image
}

// A code no table holds (stuffed 0xFF bytes are all ones) in the middle of a sequential scan: the
// bands above are drawn as decoded, the band of the damage keeps the blocks decoded before it and
// draws the rest mid-grey (no coefficients), and nothing is drawn below.
TEST_F(Decoders, DamagedSequentialJpegKeepsItsBandUpToTheDamage) {
    const std::vector<uint8_t> good = corpusFile("base_2x2_q90.jpg");
    ASSERT_GT(good.size(), 1000u);
    size_t data = 0;
    for (size_t i = 0; i + 3 < good.size() && !data; i++)
        if (good[i] == 0xFF && good[i + 1] == 0xDA) data = i + 2 + (good[i + 2] << 8 | good[i + 3]);
    ASSERT_NE(0u, data);
    std::vector<uint8_t> bad = good;
    const size_t at = data + (good.size() - data) / 2;
    for (size_t i = 0; i < 8; i += 2) {
        bad[at + i] = 0xFF;
        bad[at + i + 1] = 0x00;
    }
    ASSERT_EQ(0, GUI_JPEG_Draw(good.data(), (uint32_t)good.size(), 0, 0));
    std::vector<uint16_t> whole;
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) whole.push_back(pixelAt(x, y));
    freshScreen(kBack);
    EXPECT_NE(0, GUI_JPEG_Draw(bad.data(), (uint32_t)bad.size(), 0, 0));
    int first = 0; // the first row that differs: in the band of the damage or the row above it
    while (first < 240 && pixelAt(0, first) == whole[(size_t)first * 320] &&
           pixelAt(319, first) == whole[(size_t)first * 320 + 319])
        first++;
    ASSERT_LT(first, 240);
    const int band = (first + 1) / 16;
    ASSERT_GT(band, 0);
    for (int y = 0; y < band * 16 - 1; y++) // the row above the band takes its chroma too
        for (int x = 0; x < 320; x++) ASSERT_EQ(whole[(size_t)y * 320 + x], pixelAt(x, y)) << x << "," << y;
    EXPECT_EQ(whole[(size_t)(band * 16 + 8) * 320 + 3], pixelAt(3, band * 16 + 8)); // its first block
    for (int y = band * 16 + 4; y < band * 16 + 12; y++) // its last MCU, away from its neighbours
        for (int x = 306; x < 320; x++) EXPECT_EQ(0x8410, pixelAt(x, y)) << x << "," << y;
    for (int y = band * 16 + 16; y < 240; y++) EXPECT_EQ(kBack, pixelAt(100, y)) << y;
}

TEST_F(Decoders, RefusedJpegsDrawNothing) {
    std::vector<uint8_t> b = corpusFile("base_1x1_q50.jpg");
    ASSERT_GT(b.size(), 1000u);
    for (size_t i = 0; i + 1 < b.size(); i++) {
        if (b[i] == 0xFF && b[i + 1] == 0xC0) {
            std::vector<uint8_t> arithmetic = b, twelve = b;
            arithmetic[i + 1] = 0xC9;
            twelve[i + 4] = 12;
            EXPECT_NE(0, GUI_JPEG_Draw(arithmetic.data(), (uint32_t)arithmetic.size(), 0, 0));
            EXPECT_NE(0, GUI_JPEG_Draw(twelve.data(), (uint32_t)twelve.size(), 0, 0));
            break;
        }
    }
    const uint8_t notJpeg[] = {0xFF, 0xD8, 0xFF, 0xD9};
    EXPECT_NE(0, GUI_JPEG_Draw(notJpeg, sizeof notJpeg, 0, 0));
    EXPECT_EQ(0, changedPixels(kBack));
}

// With less of the pool free the picture is drawn in narrower strips, each a complete decode, to
// the same pixels; with too little for one MCU column it draws nothing and fails.
TEST_F(Decoders, JpegInStripsWhenThePoolIsShort) {
    for (const char *name : {"screenprog.jpg", "screen.jpg", "wideprog.jpg"}) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> b = corpusFile(name);
        freshScreen(kBack);
        ASSERT_EQ(0, GUI_JPEG_Draw(b.data(), (uint32_t)b.size(), 0, 0));
        const uint32_t whole = GUI_JPEG_LastPoolUse();
        EXPECT_LE(whole, GUI_POOL_SIZE);
        std::vector<uint16_t> first;
        for (int y = 0; y < 480; y += 7)
            for (int x = 0; x < 800; x++) first.push_back(pixelAt(x, y));
        void *hog = GUI_ALLOC_Alloc(GUI_POOL_SIZE / 2);
        ASSERT_NE(nullptr, hog);
        freshScreen(kBack);
        EXPECT_EQ(0, GUI_JPEG_Draw(b.data(), (uint32_t)b.size(), 0, 0));
        EXPECT_LT(GUI_JPEG_LastPoolUse(), GUI_POOL_SIZE / 2);
        std::vector<uint16_t> strips;
        for (int y = 0; y < 480; y += 7)
            for (int x = 0; x < 800; x++) strips.push_back(pixelAt(x, y));
        EXPECT_EQ(first, strips);
        void *rest = GUI_ALLOC_Alloc(GUI_POOL_SIZE / 2 - 8000);
        ASSERT_NE(nullptr, rest);
        freshScreen(kBack);
        EXPECT_NE(0, GUI_JPEG_Draw(b.data(), (uint32_t)b.size(), 0, 0));
        EXPECT_EQ(0, changedPixels(kBack));
        GUI_ALLOC_Free(rest);
        GUI_ALLOC_Free(hog);
    }
}

TEST_F(Decoders, JpegKeepsToTheClipRectangleAndTheSource) {
    std::vector<uint8_t> b = corpusFile("prog_2x1_q90.jpg");
    ASSERT_EQ(0, GUI_JPEG_Draw(b.data(), (uint32_t)b.size(), 0, 0));
    std::vector<uint16_t> whole;
    for (int y = 30; y < 50; y++)
        for (int x = 40; x < 70; x++) whole.push_back(pixelAt(x, y));
    freshScreen(kBack);
    GUI_RECT clip = {40, 30, 69, 49};
    GUI_SetClipRect(&clip);
    ASSERT_EQ(0, GUI_JPEG_DrawEx(oneByte, &b, 0, 0));
    GUI_SetClipRect(nullptr);
    EXPECT_EQ(20 * 30, changedPixels(kBack));
    std::vector<uint16_t> part;
    for (int y = 30; y < 50; y++)
        for (int x = 40; x < 70; x++) part.push_back(pixelAt(x, y));
    EXPECT_EQ(whole, part);
}

} // namespace
