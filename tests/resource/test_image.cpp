// The resource image in external memory: offset conversion, the look-ups, and what they make of
// damaged images. Images are made by the image builder, then damaged byte by byte.
#include <string.h>

#include <random>

#include <gtest/gtest.h>

#include "board/bsp/bsp.h"
#include "resource/resource.h"
#include "tests/support/screen.h"
#include "tools/pack/image.h"

namespace {

uint32_t rd32(const std::vector<uint8_t> &b, size_t at) {
    return b[at] | (uint32_t)b[at + 1] << 8 | (uint32_t)b[at + 2] << 16 | (uint32_t)b[at + 3] << 24;
}
void wr32(std::vector<uint8_t> &b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) b[at + i] = (uint8_t)(v >> (8 * i));
}
void wr16(std::vector<uint8_t> &b, size_t at, uint32_t v) {
    b[at] = (uint8_t)v;
    b[at + 1] = (uint8_t)(v >> 8);
}
size_t recordAt(int i) {
    return RES_HEADER_SIZE + (size_t)i * RES_RECORD_SIZE;
}

// Macros, a plain, a compressed and a transparent bitmap, a GIF and a font.
std::vector<uint8_t> sampleImage() {
    pack::Image img;
    img.macros.push_back(pack::Macro{"first", {"out \"a\"", ":lab", "out \"b\""}, true});
    img.macros.push_back(pack::Macro{"", {"z"}, true});
    img.records.resize(7);
    for (int i : {1, 2, 3}) {
        pack::Record &r = img.records[i];
        r.type = i == 1 ? RES_BITMAP : i == 2 ? RES_RLE_BITMAP : RES_TRANS_BITMAP;
        r.width = 9;
        r.height = 5;
        for (int p = 0; p < 45; p++) r.pixels.push_back((uint16_t)(p < 20 ? 0x1234 : p * 7));
        r.transparent = 0x1234;
    }
    img.records[4].type = RES_GIF;
    img.records[4].data = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 3, 0, 0, 0, 0, 0x3B};
    img.records[5].type = RES_FONT;
    img.records[5].fontName = "big";
    img.records[5].sifType = 3;
    img.records[5].data = {'G', 'U', 'I', 'P', 1, 2, 3, 4};
    img.records[6].type = RES_BLANK; // a gap
    std::vector<uint8_t> bin;
    std::string error;
    EXPECT_TRUE(pack::build(img, &bin, &error)) << error;
    return bin;
}

TEST(Image, LookUpsOfAWellFormedImage) {
    std::vector<uint8_t> bin = sampleImage();
    loadImage(bin);
    const ExtHeader *h = QV_ExtHeader();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->count, 7);
    EXPECT_EQ(QV_ExtImageSize(), bin.size());
    EXPECT_EQ(QV_GetExtBitmap(0), nullptr); // record 0 is never a bitmap
    EXPECT_EQ(QV_GetExtBitmap(7), nullptr); // the record count
    EXPECT_EQ(QV_GetExtBitmap(4), nullptr); // a GIF
    for (int i : {1, 2, 3}) {
        const ExtRecord *r = QV_GetExtBitmap(i);
        ASSERT_NE(r, nullptr) << i;
        EXPECT_EQ(QV_BitmapWidth(r), 9);
        EXPECT_EQ(QV_BitmapHeight(r), 5);
        EXPECT_EQ(r->addr, BSP_EXTRAM_BASE + rd32(bin, recordAt(i) + 4));
    }
    EXPECT_NE(QV_BitmapPixels(QV_GetExtBitmap(1)), nullptr);
    EXPECT_EQ(QV_BitmapPixels(QV_GetExtBitmap(2)), nullptr);
    EXPECT_NE(QV_BitmapStream(QV_GetExtBitmap(2)), nullptr);
    EXPECT_EQ(QV_BitmapTransparent(QV_GetExtBitmap(3)), 0x1234);
    uint32_t size = 0;
    const uint8_t *gif = QV_GetExtGIF(4, &size);
    ASSERT_NE(gif, nullptr);
    EXPECT_EQ(size, 14u);
    EXPECT_EQ(memcmp(gif, "GIF89a", 6), 0);
    EXPECT_EQ(QV_GetExtGIF(1, &size), nullptr);
    const ExtFont *font = QV_GetExtFont(5);
    ASSERT_NE(font, nullptr);
    EXPECT_STREQ(font->name, "big");
    EXPECT_EQ(font->sifType, 3);
    uint32_t avail = 0;
    const uint8_t *guip = QV_ExtFontData(font, &avail);
    ASSERT_NE(guip, nullptr);
    EXPECT_EQ(memcmp(guip, "GUIP", 4), 0);
    EXPECT_EQ(avail, 8u); // the font's data is the end of the image
    EXPECT_EQ(QV_FindExtFont("big"), 5);
    EXPECT_EQ(QV_FindExtFont("bi"), 0);
    EXPECT_EQ(QV_ExtMacroCount(), 2);
    EXPECT_EQ(QV_GetExtMacro(3), nullptr);
    EXPECT_EQ(QV_GetExtMacro(0), nullptr);
    const char *end = nullptr;
    const char *text = QV_ExtMacroText(QV_GetExtMacro(1), &end);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "out \"a\"");
    EXPECT_STREQ(QV_ExtMacroName(1), "first");
    EXPECT_STREQ(QV_ExtMacroName(2), "");
    EXPECT_STREQ(QV_ExtMacroName(0), "");
    EXPECT_EQ(QV_ExtMacroName(3), nullptr);
    // The last record is a blank of size 0.
    EXPECT_EQ(ExtMemUsed(), 0u);
}

TEST(Image, ConversionTwiceChangesNothing) {
    std::vector<uint8_t> bin = sampleImage();
    loadImage(bin);
    std::vector<uint8_t> once(imageBytes(), imageBytes() + bin.size());
    EXPECT_EQ(QV_Fixup_ExtMem(BSP_EXTRAM_BASE, ExtMemSize), 1);
    EXPECT_EQ(memcmp(once.data(), imageBytes(), bin.size()), 0);
    // Every record address is an address now; the header and the rest of the table are untouched.
    EXPECT_EQ(memcmp(once.data(), bin.data(), RES_HEADER_SIZE), 0);
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(rd32(once, recordAt(i) + 4), BSP_EXTRAM_BASE + rd32(bin, recordAt(i) + 4));
}

TEST(Image, TryFixup) {
    const uint32_t base = BSP_EXTRAM_BASE;
    uint32_t v = 100;
    EXPECT_EQ(tryFixup(&v, base, 200), 1);
    EXPECT_EQ(v, base + 100);
    EXPECT_EQ(tryFixup(&v, base, 200), 1);
    EXPECT_EQ(v, base + 100);
    v = 200;
    EXPECT_EQ(tryFixup(&v, base, 200), 0);
    EXPECT_EQ(v, 200u);
    v = base + 200;
    EXPECT_EQ(tryFixup(&v, base, 200), 1);
    v = base + 201;
    EXPECT_EQ(tryFixup(&v, base, 200), 0);
}

TEST(Image, LastRecordGivesTheBytesUsed) {
    pack::Image img;
    img.records.resize(2);
    img.records[1].type = RES_GIF;
    img.records[1].data.assign(3000, 'G');
    std::vector<uint8_t> bin;
    std::string error;
    ASSERT_TRUE(pack::build(img, &bin, &error));
    loadImage(bin);
    EXPECT_EQ(ExtMemUsed(), bin.size());
}

// A damaged copy of the sample image, loaded.
struct Damaged : testing::Test {
    std::vector<uint8_t> bin = sampleImage();
    void load() { loadImage(bin); }
};

TEST_F(Damaged, HeaderProblemsRejectEveryLookUp) {
    wr16(bin, 0, RES_MAGIC_XT);
    load();
    EXPECT_EQ(QV_ExtHeader(), nullptr);
    EXPECT_EQ(QV_GetExtBitmap(1), nullptr);
    EXPECT_EQ(QV_GetExtMacro(1), nullptr);
    EXPECT_EQ(QV_Fixup_ExtMem(BSP_EXTRAM_BASE, ExtMemSize), 0);
    bin = sampleImage();
    wr32(bin, 4, BSP_EXTRAM_SIZE + 1);
    load();
    EXPECT_EQ(QV_ExtHeader(), nullptr);
    bin = sampleImage();
    wr16(bin, 2, 0xFFFF); // a record table longer than the image
    load();
    EXPECT_EQ(QV_ExtHeader(), nullptr);
    EXPECT_EQ(QV_GetExtFont(5), nullptr);
}

TEST_F(Damaged, ObjectsOutsideTheImageOrOverTheTable) {
    wr32(bin, recordAt(1) + 4, (uint32_t)bin.size() - 4); // object runs past the end
    wr32(bin, recordAt(2) + 4, 8);                        // object over the record table
    load();
    EXPECT_EQ(QV_GetExtBitmap(1), nullptr);
    EXPECT_EQ(QV_GetExtBitmap(2), nullptr);
    EXPECT_NE(QV_GetExtBitmap(3), nullptr);
    EXPECT_EQ(QV_Fixup_ExtMem(BSP_EXTRAM_BASE, ExtMemSize), 0);
    // Nothing outside the image was written by the conversion.
    EXPECT_EQ(rd32(std::vector<uint8_t>(imageBytes(), imageBytes() + 8), 0), rd32(bin, 0));
}

TEST_F(Damaged, BitmapFieldsThatDoNotFit) {
    const uint32_t obj1 = rd32(bin, recordAt(1) + 4), obj3 = rd32(bin, recordAt(3) + 4);
    wr32(bin, obj1 + 8, (uint32_t)bin.size() - 10); // pixel rows past the end
    wr16(bin, obj3 + 6, 8);                         // not 16 bits per pixel
    load();
    EXPECT_EQ(QV_GetExtBitmap(1), nullptr);
    EXPECT_EQ(QV_GetExtBitmap(3), nullptr);
    bin = sampleImage();
    wr16(bin, obj1 + 4, 17); // rows shorter than the width
    wr16(bin, obj3 + 2, 0xFFFF);
    load();
    EXPECT_EQ(QV_GetExtBitmap(1), nullptr);
    EXPECT_EQ(QV_GetExtBitmap(3), nullptr);
    bin = sampleImage();
    wr32(bin, recordAt(1) + 4, obj1 + 2); // objects of 32-bit fields lie on 4-byte boundaries
    load();
    EXPECT_EQ(QV_GetExtBitmap(1), nullptr);
    EXPECT_EQ(QV_Fixup_ExtMem(BSP_EXTRAM_BASE, ExtMemSize), 0);
}

TEST_F(Damaged, RunLengthStreamThatRunsShort) {
    const uint32_t obj2 = rd32(bin, recordAt(2) + 4);
    // The stream needs 45 pixels; a height of 500 needs more than the image holds.
    wr16(bin, obj2 + 2, 500);
    load();
    EXPECT_EQ(QV_GetExtBitmap(2), nullptr);
    bin = sampleImage();
    wr32(bin, obj2 + 8, (uint32_t)bin.size() - 1); // a stream starting at the last byte
    load();
    EXPECT_EQ(QV_GetExtBitmap(2), nullptr);
}

TEST_F(Damaged, TypeAboveSixStopsTheConversionButNotTheLookUps) {
    bin[recordAt(4)] = 9;
    load();
    EXPECT_EQ(QV_Fixup_ExtMem(BSP_EXTRAM_BASE, ExtMemSize), 0);
    // Records after the bad one are converted on first use.
    EXPECT_LT(rd32(std::vector<uint8_t>(imageBytes(), imageBytes() + bin.size()), recordAt(5) + 4),
              BSP_EXTRAM_BASE);
    EXPECT_NE(QV_GetExtFont(5), nullptr);
    EXPECT_GE(rd32(std::vector<uint8_t>(imageBytes(), imageBytes() + bin.size()), recordAt(5) + 4),
              BSP_EXTRAM_BASE);
    EXPECT_NE(QV_GetExtBitmap(3), nullptr);
}

TEST_F(Damaged, MacroTablesAndFontsThatDoNotFit) {
    const uint32_t table = rd32(bin, recordAt(0) + 4);
    wr32(bin, table, (uint32_t)bin.size() + 100); // text of macro 1 outside the image
    wr16(bin, table + 8 + 4, 60000);              // macro 2 claims more lines than there are
    const uint32_t font = rd32(bin, recordAt(5) + 4);
    wr32(bin, font + 4, font); // font data that is not "GUIP"
    load();
    EXPECT_EQ(QV_ExtMacroText(QV_GetExtMacro(1), nullptr), nullptr);
    EXPECT_EQ(QV_ExtMacroText(QV_GetExtMacro(2), nullptr), nullptr);
    EXPECT_EQ(QV_ExtFontData(QV_GetExtFont(5), nullptr), nullptr);
    bin = sampleImage();
    wr32(bin, recordAt(0) + 8, 100000); // more macros than the image holds
    load();
    EXPECT_EQ(QV_ExtMacroCount(), 0);
    EXPECT_EQ(QV_GetExtMacro(1), nullptr);
    bin = sampleImage();
    wr32(bin, recordAt(0) + 8, 0x20000001); // a count whose table size would wrap round 32 bits
    load();
    EXPECT_EQ(QV_ExtMacroCount(), 0);
    EXPECT_EQ(QV_GetExtMacro(2), nullptr);
}

// Whatever bytes the image holds, every look-up stays inside it.
TEST_F(Damaged, RandomDamageNeverLeadsOutsideTheImage) {
    const std::vector<uint8_t> good = sampleImage();
    std::mt19937 rng(12345);
    for (int round = 0; round < 3000; round++) {
        bin = good;
        int changes = 1 + (int)(rng() % 6);
        for (int c = 0; c < changes; c++) {
            size_t at = rng() % bin.size();
            bin[at] = (uint8_t)(rng() % 3 == 0 ? 0xFF : rng());
        }
        load();
        const uint8_t *lo = imageBytes(),
                      *hi = imageBytes() + QV_ExtImageSize(); // the image its header describes
        auto inside = [&](const void *p, size_t n) {
            const uint8_t *q = (const uint8_t *)p;
            return !p || (q >= lo && q + n <= hi);
        };
        for (int i = -1; i < 9; i++) {
            const ExtRecord *r = QV_GetExtBitmap(i);
            if (r) {
                const ExtBitmap *o = QV_BitmapObject(r);
                ASSERT_TRUE(inside(o, sizeof *o));
                const uint8_t *px = QV_BitmapPixels(r);
                ASSERT_TRUE(inside(px, px ? (size_t)o->BytesPerLine * o->YSize : 0));
                std::vector<uint16_t> out;
                const uint8_t *s = QV_BitmapStream(r);
                if (s) {
                    ASSERT_TRUE(pack::rleDecode(s, (size_t)(hi - s), (size_t)o->XSize * o->YSize, &out));
                }
            }
            uint32_t size = 0;
            const uint8_t *gif = QV_GetExtGIF(i, &size);
            ASSERT_TRUE(inside(gif, size));
            const ExtFont *f = QV_GetExtFont(i);
            ASSERT_TRUE(inside(f, RES_FONT_SIZE));
            uint32_t avail = 0;
            const uint8_t *d = QV_ExtFontData(f, &avail);
            ASSERT_TRUE(inside(d, avail));
            const char *end = nullptr;
            const char *t = QV_ExtMacroText(QV_GetExtMacro(i), &end);
            ASSERT_TRUE(inside(t, 1));
            const char *n = QV_ExtMacroName(i);
            ASSERT_TRUE(inside(n, n ? strlen(n) + 1 : 0));
        }
        ExtMemUsed();
        QV_FindExtFont("big");
    }
}

} // namespace
