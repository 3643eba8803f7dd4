// The decoders against the distribution's decoders on the corpus written by make_corpus.sh: GIF and
// BMP pixels equal ImageMagick's after the colour rule; JPEG pixels are within one 5-6-5 step of
// djpeg's on at least 99.9% of the pixels and within two everywhere. Images larger than the screen
// are compared where they are visible.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gfx/bmp_decode.h"
#include "gfx/gif_decode.h"
#include "gfx/gui.h"
#include "gfx/jpeg_decode.h"
#include "tests/support/screen.h"

namespace {

const std::string kDir = ZEFO_CORPUS_DIR;

std::vector<uint8_t> readFile(const std::string &name) {
    std::ifstream f(kDir + "/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// A PPM, PGM or PAM file as RGBA.
struct Picture {
    int w = 0, h = 0;
    std::vector<uint8_t> rgba;
    bool load(const std::string &name) {
        std::vector<uint8_t> b = readFile(name);
        if (b.size() < 3 || b[0] != 'P') return false;
        const char kind = (char)b[1];
        size_t pos = 2;
        int channels = kind == '5' ? 1 : 3, maxval = 255;
        auto token = [&]() {
            while (pos < b.size() && isspace(b[pos])) pos++;
            size_t start = pos;
            while (pos < b.size() && !isspace(b[pos])) pos++;
            return std::string(b.begin() + (long)start, b.begin() + (long)pos);
        };
        if (kind == '7') {
            for (std::string t = token(); t != "ENDHDR" && !t.empty(); t = token()) {
                if (t == "WIDTH")
                    w = atoi(token().c_str());
                else if (t == "HEIGHT")
                    h = atoi(token().c_str());
                else if (t == "DEPTH")
                    channels = atoi(token().c_str());
                else if (t == "MAXVAL")
                    maxval = atoi(token().c_str());
            }
        } else {
            w = atoi(token().c_str());
            h = atoi(token().c_str());
            maxval = atoi(token().c_str());
        }
        pos++;
        if (maxval != 255 || b.size() < pos + (size_t)w * h * channels) return false;
        rgba.resize((size_t)w * h * 4);
        for (size_t i = 0; i < (size_t)w * h; i++) {
            const uint8_t *p = &b[pos + i * channels];
            uint8_t *q = &rgba[i * 4];
            q[0] = p[0];
            q[1] = channels >= 3 ? p[1] : p[0];
            q[2] = channels >= 3 ? p[2] : p[0];
            q[3] = channels == 4 ? p[3] : (channels == 2 ? p[1] : 255);
        }
        return true;
    }
    uint16_t index(int x, int y) const {
        const uint8_t *p = &rgba[((size_t)y * w + x) * 4];
        return (uint16_t)((p[0] >> 3) << 11 | (p[1] >> 2) << 5 | p[2] >> 3);
    }
    bool opaque(int x, int y) const { return rgba[((size_t)y * w + x) * 4 + 3] == 255; }
};

struct Entry {
    std::string kind, file, ref;
    int frames = 1;
};

std::vector<Entry> manifest() {
    std::vector<Entry> list;
    std::ifstream f(kDir + "/manifest.txt");
    for (std::string line; std::getline(f, line);) {
        std::istringstream s(line);
        Entry e;
        s >> e.kind >> e.file >> e.ref >> e.frames;
        if (!e.kind.empty()) list.push_back(e);
    }
    return list;
}

// The worst channel difference in 5-6-5 steps.
int steps(uint16_t a, uint16_t b) {
    int r = abs((a >> 11) - (b >> 11)), g = abs(((a >> 5) & 63) - ((b >> 5) & 63)),
        bl = abs((a & 31) - (b & 31));
    return std::max(r, std::max(g, bl));
}

const uint16_t kBack = 0x1234;

struct Corpus : testing::Test {
    void SetUp() override {
        ASSERT_FALSE(manifest().empty()) << "no corpus in " << kDir;
        freshScreen(kBack);
    }
};

TEST_F(Corpus, JpegWithinOneStepOfDjpeg) {
    int files = 0;
    for (const Entry &e : manifest()) {
        if (e.kind != "jpeg") continue;
        files++;
        SCOPED_TRACE(e.file);
        freshScreen(kBack);
        std::vector<uint8_t> data = readFile(e.file);
        Picture ref;
        ASSERT_TRUE(ref.load(e.ref));
        GUI_JPEG_INFO info;
        ASSERT_EQ(0, GUI_JPEG_GetInfo(data.data(), (uint32_t)data.size(), &info));
        EXPECT_EQ(ref.w, info.XSize);
        EXPECT_EQ(ref.h, info.YSize);
        ASSERT_EQ(0, GUI_JPEG_Draw(data.data(), (uint32_t)data.size(), 0, 0));
        EXPECT_LE(GUI_JPEG_LastPoolUse(), GUI_POOL_SIZE);
        long off1 = 0, off2 = 0, total = 0;
        const int w = std::min(ref.w, (int)LCD_GetXSize()), h = std::min(ref.h, (int)LCD_GetYSize());
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                const int d = steps(pixelAt(x, y), ref.index(x, y));
                off1 += d > 1;
                off2 += d > 2;
                total++;
            }
        EXPECT_EQ(0, off2);
        EXPECT_LE(off1 * 1000, total) << off1 << " of " << total << " pixels more than one step off";
        if (ref.w < LCD_GetXSize()) { // nothing beyond the image
            EXPECT_EQ(kBack, pixelAt(ref.w, 0));
        }
        if (ref.h < LCD_GetYSize()) {
            EXPECT_EQ(kBack, pixelAt(0, ref.h));
        }
    }
    EXPECT_GE(files, 20);
}

TEST_F(Corpus, GifFramesEqualImageMagick) {
    int files = 0;
    for (const Entry &e : manifest()) {
        if (e.kind != "gif") continue;
        files++;
        SCOPED_TRACE(e.file);
        freshScreen(kBack);
        std::vector<uint8_t> data = readFile(e.file);
        GUI_GIF_INFO info;
        ASSERT_EQ(0, GUI_GIF_GetInfo(data.data(), (uint32_t)data.size(), &info));
        EXPECT_EQ(e.frames, info.NumImages);
        for (int k = 0; k < e.frames; k++) {
            SCOPED_TRACE(k);
            char name[200];
            snprintf(name, sizeof name, e.ref.c_str(), k);
            Picture ref;
            ASSERT_TRUE(ref.load(name));
            EXPECT_EQ(ref.w, info.xSize);
            EXPECT_EQ(ref.h, info.ySize);
            ASSERT_EQ(0, GUI_GIF_DrawSub(data.data(), (uint32_t)data.size(), 3, 5, k));
            long wrong = 0;
            for (int y = 0; y < ref.h; y++)
                for (int x = 0; x < ref.w; x++)
                    if (ref.opaque(x, y))
                        wrong += pixelAt(3 + x, 5 + y) != ref.index(x, y);
                    else
                        wrong += k == 0 && pixelAt(3 + x, 5 + y) != kBack; // transparent: untouched
            EXPECT_EQ(0, wrong);
        }
    }
    EXPECT_GE(files, 7);
}

TEST_F(Corpus, BmpEqualsImageMagick) {
    int files = 0;
    for (const Entry &e : manifest()) {
        if (e.kind != "bmp" && e.kind != "refused") continue;
        files++;
        SCOPED_TRACE(e.file);
        freshScreen(kBack);
        std::vector<uint8_t> data = readFile(e.file);
        if (e.kind == "refused") {
            EXPECT_NE(0, GUI_BMP_Draw(data.data(), (uint32_t)data.size(), 0, 0));
            EXPECT_EQ(0, changedPixels(kBack));
            continue;
        }
        Picture ref;
        ASSERT_TRUE(ref.load(e.ref));
        ASSERT_EQ(0, GUI_BMP_Draw(data.data(), (uint32_t)data.size(), 1, 2));
        long wrong = 0;
        for (int y = 0; y < ref.h; y++)
            for (int x = 0; x < ref.w; x++) wrong += pixelAt(1 + x, 2 + y) != ref.index(x, y);
        EXPECT_EQ(0, wrong);
    }
    EXPECT_GE(files, 6);
}

} // namespace
