// The image builder: its run-length coding, its project files and their mistakes, and its listing.
#include <stdio.h>
#include <unistd.h>

#include <fstream>
#include <random>

#include <gtest/gtest.h>
#include <png.h>

#include "tools/pack/image.h"
#include "tools/pack/project.h"

namespace {

TEST(Pack, RunLengthRoundTrip) {
    std::mt19937 rng(7);
    for (int round = 0; round < 300; round++) {
        std::vector<uint16_t> px(1 + rng() % 2000);
        uint16_t v = 0;
        for (auto &p : px) {
            if (rng() % 4 == 0) v = (uint16_t)(rng() % (round % 3 == 0 ? 3 : 65536));
            p = v;
        }
        std::vector<uint8_t> s = pack::rleEncode(px);
        std::vector<uint16_t> back;
        ASSERT_TRUE(pack::rleDecode(s.data(), s.size(), px.size(), &back));
        ASSERT_EQ(back, px);
        ASSERT_LE(s.size(), 2 + px.size() * 2 + px.size() / 128); // never much more than the pixels
    }
    // A run of 300 is two repeat packets; 256 different pixels one literal packet of count 0.
    EXPECT_EQ(pack::rleEncode(std::vector<uint16_t>(300, 0xABCD)),
              (std::vector<uint8_t>{255, 0xCD, 0xAB, 45, 0xCD, 0xAB}));
    std::vector<uint16_t> ramp(256);
    for (int i = 0; i < 256; i++) ramp[i] = (uint16_t)i;
    std::vector<uint8_t> s = pack::rleEncode(ramp);
    EXPECT_EQ(s.size(), 2u + 512u);
    EXPECT_EQ(s[0], 0);
    EXPECT_EQ(s[1], 0);
}

// Writes a project file (and a 2 x 1 PNG beside it) and reads it.
struct Project : testing::Test {
    std::string dir;
    void SetUp() override {
        char t[] = "/tmp/zefo5-pack-test-XXXXXX";
        ASSERT_NE(mkdtemp(t), nullptr);
        dir = t;
        // A 2 x 1 PNG: red, then white.
        png_image img{};
        img.version = PNG_IMAGE_VERSION;
        img.width = 2;
        img.height = 1;
        img.format = PNG_FORMAT_RGB;
        const uint8_t px[] = {255, 0, 0, 255, 255, 255};
        ASSERT_TRUE(png_image_write_to_file(&img, (dir + "/two.png").c_str(), 0, px, 0, nullptr));
    }
    void TearDown() override {
        std::string cmd = "rm -rf " + dir;
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    std::vector<std::string> read(const std::string &text, pack::Image *img) {
        std::ofstream(dir + "/p.zpk") << text;
        std::vector<std::string> errors;
        pack::readProject(dir + "/p.zpk", img, &errors);
        for (auto &e : errors) e = e.substr(dir.size() + 1); // relative to the folder
        return errors;
    }
};

TEST_F(Project, MacrosBitmapsAndNumbering) {
    pack::Image img;
    auto errors = read("# demo\n"
                       "macro first\n"
                       "   t \"a\" 1 1   \n"
                       "\n"
                       "  # a comment of the project\n"
                       ":lab // here\n"
                       "end\n"
                       "macro 3\n"
                       "z\n"
                       "end\n"
                       "bitmap two.png\n"
                       "bitmap 4 two.png compressed\n"
                       "bitmap two.png transparent F00\n"
                       "blank\n",
                       &img);
    ASSERT_EQ(errors, std::vector<std::string>{});
    ASSERT_EQ(img.macros.size(), 3u);
    EXPECT_EQ(img.macros[0].name, "first");
    EXPECT_EQ(img.macros[0].lines, (std::vector<std::string>{"t \"a\" 1 1", ":lab // here"}));
    EXPECT_FALSE(img.macros[1].defined);
    EXPECT_EQ(img.macros[2].lines, std::vector<std::string>{"z"});
    ASSERT_EQ(img.records.size(), 7u);
    EXPECT_EQ(img.records[1].type, 1);
    EXPECT_EQ(img.records[1].pixels, (std::vector<uint16_t>{0xF800, 0xFFFF}));
    EXPECT_EQ(img.records[2].type, 0); // the gap before record 4
    EXPECT_EQ(img.records[4].type, 2);
    EXPECT_EQ(img.records[5].type, 5);
    EXPECT_EQ(img.records[5].transparent, 0xF800);
    EXPECT_EQ(img.records[6].type, 0);
    std::vector<uint8_t> bin;
    std::string error;
    ASSERT_TRUE(pack::build(img, &bin, &error));
    std::string text;
    ASSERT_TRUE(pack::list(bin, false, true, &text, &error));
    EXPECT_EQ(text.substr(0, text.find("Macro Definitions\n  #")),
              "Records: 7\n"
              "  00: type 3 @ 840005c size 3\n    Macro Definitions\n"
              "  01: type 1 @ 840009c size 24\n    Uncompressed Bitmap: 2x1\n"
              "  02: type 0 @ 8400000 size 0\n    Blank Record\n"
              "  03: type 0 @ 8400000 size 0\n    Blank Record\n"
              "  04: type 2 @ 84000b4 size 26\n    Compressed Bitmap: 2x1\n"
              "  05: type 5 @ 84000d0 size 24\n    Uncompressed Transparent Bitmap: 2x1 (0xF800)\n"
              "  06: type 0 @ 8400000 size 0\n    Blank Record\n"
              "\nTotal Used 1KB\n");
    EXPECT_NE(
        text.find(
            "Macro Definitions\n  #1: first\n    't \"a\" 1 1'\n    ':lab // here'\n  #2:\n  #3:\n    'z'\n"),
        std::string::npos);
}

TEST_F(Project, EveryMistakeNamesItsFileAndLine) {
    pack::Image img;
    auto errors = read("bitmap nothere.png\n"             // 1
                       "frobnicate 3\n"                   // 2
                       "macro 1 9lives\n"                 // 3
                       "end\n"                            // 4
                       "macro 2 ok\nz\nend\n"             // 5-7
                       "macro 2 again\nend\n"             // 8, 9
                       "bitmap two.png transparent XYZ\n" // 10
                       "bitmap two.png sideways\n"        // 11
                       "bitmap 2 two.png\n"               // 12
                       "bitmap 2 two.png\n"               // 13
                       "gif two.png\n"                    // 14
                       "macro 300\nend\n"                 // 15, 16
                       "end\n"                            // 17
                       "macro long\n"                     // 18
                           + std::string(129, 'x') +
                           "\n"           // 19
                           "end\n"        // 20
                           "macro tail\n" // 21
                           "z\n",
                       &img);
    EXPECT_EQ(
        errors,
        (std::vector<std::string>{
            "p.zpk:1: nothere.png: cannot read the file",
            "p.zpk:2: unknown directive \"frobnicate\" (macro, bitmap, font, gif, blank)",
            "p.zpk:3: macro name \"9lives\": a letter or _ first, then letters, digits and _ (at most 31)",
            "p.zpk:8: macro 2 is defined twice",
            "p.zpk:10: transparent needs a colour as RGB or RRGGBB in hexadecimal",
            "p.zpk:11: unknown bitmap kind \"sideways\" (plain, compressed, transparent COLOUR)",
            "p.zpk:13: record 2 is used twice",
            "p.zpk:14: two.png: not a GIF file",
            "p.zpk:15: macro number 300 above 255",
            "p.zpk:17: \"end\" without a macro",
            "p.zpk:19: macro line of 129 characters; at most 128 fit",
            "p.zpk:21: macro without \"end\"",
        }));
}

TEST(PackList, RefusesWhatIsNoImage) {
    std::string text, error;
    EXPECT_FALSE(pack::list({1, 2, 3}, false, false, &text, &error));
    EXPECT_EQ(error, "not a resource image (no 0xFEEB magic)");
    EXPECT_FALSE(pack::list({0xEB, 0xFE, 1, 0, 99, 0, 0, 0}, false, false, &text, &error));
}

} // namespace
