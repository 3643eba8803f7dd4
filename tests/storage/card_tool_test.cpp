// The card tool as a program and the directory packer the simulator uses, checked with fsck.fat
// and mtools.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/storage/test_util.h"
#include "tools/card/cardpack.h"

using namespace tu;

namespace {

Result tool(const std::string &args) {
    return run(std::string(CARD_TOOL) + " " + args);
}

class CardTool : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(t / "tree/sub/deep");
        writeText(t / "tree/config.ini", "tplo = 300\r\n");
        writeFile(t / "tree/zefo5.bin", randomBytes(200000, 1));
        writeFile(t / "tree/README", randomBytes(10, 2));
        writeFile(t / "tree/EMPTY.DAT", {});
        writeFile(t / "tree/sub/deep/a.txt", randomBytes(5000, 3));
        writeFile(t / "tree/.hidden", randomBytes(5, 4)); // dot files stay behind
    }
    void checkTree(const std::string &image) {
        std::string report;
        EXPECT_TRUE(fsckClean(image, &report)) << report;
        EXPECT_EQ(mdirNames(image, "/"), "CONFIG.INI\nEMPTY.DAT\nREADME\nSUB\nZEFO5.BIN\n");
        EXPECT_EQ(mdirNames(image, "/SUB/DEEP"), "A.TXT\n");
        EXPECT_EQ(mcopyOut(image, "ZEFO5.BIN"), randomBytes(200000, 1));
        EXPECT_EQ(mcopyOut(image, "README"), randomBytes(10, 2));
        EXPECT_EQ(mcopyOut(image, "EMPTY.DAT"), std::vector<uint8_t>{});
        EXPECT_EQ(mcopyOut(image, "SUB/DEEP/A.TXT"), randomBytes(5000, 3));
    }
    TempDir t;
};

TEST_F(CardTool, MakesImagesThatFsckAndMtoolsAccept) {
    Result r = tool("make " + quote(t / "card.img") + " " + quote(t / "tree"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(std::filesystem::file_size(t / "card.img"), 8u << 20);
    checkTree(t / "card.img");
    EXPECT_NE(run("minfo -i " + quote(t / "card.img")).out.find("FAT16"), std::string::npos);

    r = tool("make " + quote(t / "c12.img") + " " + quote(t / "tree") + " --size 16 --fat12");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(std::filesystem::file_size(t / "c12.img"), 16u << 20);
    checkTree(t / "c12.img");
    EXPECT_NE(run("minfo -i " + quote(t / "c12.img")).out.find("FAT12"), std::string::npos);

    r = tool("make " + quote(t / "c16.img") + " " + quote(t / "tree") + " --fat16 --size 40");
    ASSERT_EQ(r.status, 0) << r.out;
    checkTree(t / "c16.img");

    // A card too small for FAT16, a tree too big for its card.
    r = tool("make " + quote(t / "x.img") + " " + quote(t / "tree") + " --size 1 --fat16");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("cannot be FAT16"), std::string::npos) << r.out;
    writeFile(t / "tree/big.bin", randomBytes(3 << 20, 5));
    r = tool("make " + quote(t / "x.img") + " " + quote(t / "tree") + " --size 2");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("big.bin: the card is full"), std::string::npos) << r.out;
}

TEST_F(CardTool, RefusesNamesTheCardCannotHold) {
    writeFile(t / "tree/sub/longer name.txt", {});
    Result r = tool("make " + quote(t / "card.img") + " " + quote(t / "tree"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("sub/longer name.txt: not an 8.3 name"), std::string::npos) << r.out;
    std::filesystem::remove(t / "tree/sub/longer name.txt");
    writeFile(t / "tree/readme", {});
    r = tool("make " + quote(t / "card.img") + " " + quote(t / "tree"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("readme: another name in this directory is the same 8.3 name"), std::string::npos)
        << r.out;
    EXPECT_EQ(tool("").status, 2);
    EXPECT_EQ(tool("make only-one-argument").status, 2);
    EXPECT_EQ(tool("frobnicate x y").status, 2);
    EXPECT_EQ(tool("make " + quote(t / "x.img") + " " + quote(t / "nothing-here")).status, 1);
}

TEST_F(CardTool, ListGetPut) {
    ASSERT_EQ(tool("make " + quote(t / "card.img") + " " + quote(t / "tree")).status, 0);
    std::string img = quote(t / "card.img");
    Result r = tool("ls " + img);
    ASSERT_EQ(r.status, 0);
    std::vector<std::string> lines;
    for (size_t at = 0, nl; (nl = r.out.find('\n', at)) != std::string::npos; at = nl + 1)
        lines.push_back(r.out.substr(at, nl - at));
    ASSERT_EQ(lines.size(), 5u) << r.out;
    // Names in upper case, in the order they were put on the card (sorted by that name).
    EXPECT_EQ(lines[0].substr(0, 26), "CONFIG.INI            12  ");
    EXPECT_EQ(lines[1].substr(0, 26), "EMPTY.DAT              0  ");
    EXPECT_EQ(lines[2].substr(0, 26), "README                10  ");
    EXPECT_EQ(lines[3].substr(0, 26), "SUB/               <DIR>  ");
    EXPECT_EQ(lines[4].substr(0, 26), "ZEFO5.BIN         200000  ");
    r = tool("ls " + img + " sub/deep");
    EXPECT_EQ(r.out.substr(0, 26), "A.TXT               5000  ");
    r = tool("ls " + img + " /sub/deep/a.txt");
    EXPECT_EQ(r.out.substr(0, 26), "A.TXT               5000  ");
    EXPECT_EQ(tool("ls " + img + " nope").status, 1);

    ASSERT_EQ(tool("get " + img + " " + quote("sub\\deep\\a.txt") + " " + quote(t / "out.txt")).status, 0);
    EXPECT_EQ(readFile(t / "out.txt"), randomBytes(5000, 3));
    std::filesystem::create_directory(t / "into");
    ASSERT_EQ(tool("get " + img + " /sub/deep/a.txt " + quote(t / "into")).status, 0);
    EXPECT_EQ(readFile(t / "into/a.txt"), randomBytes(5000, 3));
    r = tool("get " + img + " config.ini -");
    EXPECT_EQ(r.out, "tplo = 300\r\n");
    r = tool("get " + img + " missing.txt -");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("no such file"), std::string::npos);

    writeFile(t / "new.bin", randomBytes(70000, 6));
    ASSERT_EQ(tool("put " + img + " " + quote(t / "new.bin")).status, 0);
    ASSERT_EQ(tool("put " + img + " " + quote(t / "new.bin") + " sub").status, 0);
    ASSERT_EQ(tool("put " + img + " " + quote(t / "new.bin") + " sub/deep/other.dat").status, 0);
    writeFile(t / "README", randomBytes(33, 7));
    ASSERT_EQ(tool("put " + img + " " + quote(t / "README")).status, 0); // replaces the old one
    r = tool("put " + img + " " + quote(t / "new.bin") + " sub/nodir/x.bin");
    EXPECT_EQ(r.status, 1);
    std::string report;
    EXPECT_TRUE(fsckClean(t / "card.img", &report)) << report;
    EXPECT_EQ(mcopyOut(t / "card.img", "NEW.BIN"), randomBytes(70000, 6));
    EXPECT_EQ(mcopyOut(t / "card.img", "SUB/NEW.BIN"), randomBytes(70000, 6));
    EXPECT_EQ(mcopyOut(t / "card.img", "SUB/DEEP/OTHER.DAT"), randomBytes(70000, 6));
    EXPECT_EQ(mcopyOut(t / "card.img", "README"), randomBytes(33, 7));
}

TEST_F(CardTool, WorksOnCardsMadeElsewhere) {
    // A card formatted by mkfs.fat, files by mtools, then the tool in and out.
    mkfs(t / "m.img", 20000, "-F 16");
    writeFile(t / "theirs.bin", randomBytes(9999, 8));
    mcopyIn(t / "m.img", t / "theirs.bin", "THEIRS.BIN");
    std::vector<uint8_t> data;
    std::string error;
    ASSERT_TRUE(cardGet((t / "m.img").c_str(), "theirs.bin", data, &error)) << error;
    EXPECT_EQ(data, randomBytes(9999, 8));
    ASSERT_TRUE(cardPut((t / "m.img").c_str(), "", "MINE.BIN", randomBytes(4444, 9), &error)) << error;
    std::string report;
    EXPECT_TRUE(fsckClean(t / "m.img", &report)) << report;
    EXPECT_EQ(mcopyOut(t / "m.img", "MINE.BIN"), randomBytes(4444, 9));
    EXPECT_FALSE(cardGet((t / "nothing.img").c_str(), "x", data, &error));
    writeFile(t / "junk.img", randomBytes(1 << 20, 1));
    EXPECT_FALSE(cardGet((t / "junk.img").c_str(), "x", data, &error));
    EXPECT_NE(error.find("not a FAT12/FAT16 card image"), std::string::npos) << error;
}

TEST_F(CardTool, PacksADirectoryInMemory) {
    std::vector<uint8_t> image;
    std::string error;
    ASSERT_TRUE(cardPackDirectory((t / "tree").c_str(), image, &error)) << error;
    EXPECT_EQ(image.size(), (size_t)cardSizeFor((t / "tree").c_str()) << 20);
    EXPECT_GE(image.size(), 8u << 20);
    writeFile(t / "packed.img", image);
    checkTree(t / "packed.img");
    // A resource image of 11 MB gets a card that holds it.
    const std::vector<uint8_t> big = randomBytes(11 << 20, 10);
    writeFile(t / "tree/zefo5.bin", big);
    ASSERT_TRUE(cardPackDirectory((t / "tree").c_str(), image, &error)) << error;
    writeFile(t / "packed.img", image);
    EXPECT_TRUE(mcopyOut(t / "packed.img", "ZEFO5.BIN") == big);
    EXPECT_FALSE(cardPackDirectory((t / "missing").c_str(), image, &error));
    EXPECT_NE(error.find("not a directory"), std::string::npos);
    // The simulator's form: a temporary image file.
    std::filesystem::remove(t / "tree/zefo5.bin");
    setenv("TMPDIR", t.path().c_str(), 1);
    std::string path;
    ASSERT_TRUE(cardPackDirectoryToTempFile((t / "tree").c_str(), path, &error)) << error;
    unsetenv("TMPDIR");
    EXPECT_EQ(path.rfind(t.path() + "/zefo5-card-", 0), 0u) << path;
    EXPECT_EQ(mcopyOut(path, "CONFIG.INI").size(), 12u);
    std::string report;
    EXPECT_TRUE(fsckClean(path, &report)) << report;
    EXPECT_FALSE(cardPackDirectoryToTempFile((t / "missing").c_str(), path, &error));
}

} // namespace
