// The FAT file system against independent tools: images made by mkfs.fat and filled by mtools read
// back byte for byte, and everything the file system writes passes fsck.fat and reads back with
// mtools.
#include <string.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fat/ff.h"
#include "tests/storage/test_util.h"

using namespace tu;

namespace {

struct Format {
    const char *name;
    uint32_t kib;
    const char *options;
};

const Format formats[] = {
    {"fat12_1m_spc1", 1024, "-F 12 -s 1"},            // FAT12 entries straddle sector ends
    {"fat12_4m_spc4", 4096, "-F 12 -s 4"},            // several sectors per cluster
    {"fat16_16m", 16384, "-F 16"},                    //
    {"fat16_64m_spc8", 65536, "-F 16 -s 8"},          //
    {"fat16_8m_spc1_fats1", 8192, "-F 16 -s 1 -f 1"}, // one FAT copy
};

class EachFormat : public ::testing::TestWithParam<Format> {};

std::string show(const ::testing::TestParamInfo<Format> &info) {
    return info.param.name;
}

const uint32_t sizes[] = {0, 1, 511, 512, 513, 2047, 2048, 4103, 70000, 300000};

std::string sizeName(uint32_t size) {
    return "F" + std::to_string(size) + ".BIN";
}

TEST_P(EachFormat, ReadsBackWhatMtoolsWrote) {
    TempDir t;
    std::string image = t / "card.img";
    mkfs(image, GetParam().kib, GetParam().options);
    std::map<std::string, std::vector<uint8_t>> files;
    for (uint32_t size : sizes) files[sizeName(size)] = randomBytes(size, size + 7);
    files["SUB/DEEP/NESTED.DAT"] = randomBytes(9000, 99);
    files["README"] = randomBytes(100, 5);
    ASSERT_EQ(run("mmd -i " + quote(image) + " ::SUB ::SUB/DEEP").status, 0);
    for (auto &[path, data] : files) {
        writeFile(t / "host", data);
        mcopyIn(image, t / "host", path);
    }
    std::vector<uint8_t> longName = randomBytes(3000, 3);
    writeFile(t / "Long File Name.txt", longName);
    mcopyIn(image, t / "Long File Name.txt", "Long File Name.txt");

    RamDisk disk{readFile(image)};
    Volume v;
    ASSERT_TRUE(v.mount(disk));
    for (auto &[path, data] : files) {
        std::string p = path;
        for (char &c : p)
            if (c == '/') c = '\\';
        bool ok;
        EXPECT_EQ(readCardFile(p.c_str(), &ok), data) << path;
        EXPECT_TRUE(ok) << path;
    }
    // The long name is reached by the short name mtools made up for it.
    EXPECT_EQ(readCardFile("LONGFI~1.TXT"), longName);

    // The same bytes one at a time and in cluster-sized chunks.
    ff::FF_FILE *f = ff::fopen("F4103.BIN", ff::FF_READ);
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> byBytes;
    for (int c; (c = ff::fgetc(f)) != ff::FF_EOF;) byBytes.push_back((uint8_t)c);
    ff::fclose(f);
    EXPECT_EQ(byBytes, files["F4103.BIN"]);
    f = ff::fopen("F300000.BIN", ff::FF_READ);
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> byChunks(400000);
    uint32_t total = 0;
    for (int32_t n; (n = ff::freadChunk(f, byChunks.data() + total, 400000 - total)) > 0;) {
        EXPECT_LE((uint32_t)n, ff::ffClusterBytes());
        total += (uint32_t)n;
    }
    ff::fclose(f);
    byChunks.resize(total);
    EXPECT_EQ(byChunks, files["F300000.BIN"]);
}

TEST_P(EachFormat, WritesWhatFsckAndMtoolsAccept) {
    TempDir t;
    std::string image = t / "card.img";
    mkfs(image, GetParam().kib, GetParam().options);
    RamDisk disk{readFile(image)};
    std::map<std::string, std::vector<uint8_t>> expect;
    {
        Volume v;
        ASSERT_TRUE(v.mount(disk));
        for (uint32_t size : sizes) {
            expect[sizeName(size)] = randomBytes(size, size);
            ASSERT_TRUE(writeCardFile(sizeName(size).c_str(), expect[sizeName(size)])) << size;
        }
        ASSERT_EQ(ff::mkdir("SUB"), ff::FF_OK);
        ASSERT_EQ(ff::mkdir("\\SUB\\DEEP"), ff::FF_OK);
        expect["SUB/DEEP/X.DAT"] = randomBytes(5000, 1);
        ASSERT_TRUE(writeCardFile("sub\\deep\\x.dat", expect["SUB/DEEP/X.DAT"]));
        // Append, overwrite with less, remove, rename.
        std::vector<uint8_t> more = randomBytes(1500, 2);
        ASSERT_TRUE(writeCardFile("F513.BIN", more, ff::FF_APPEND));
        expect["F513.BIN"].insert(expect["F513.BIN"].end(), more.begin(), more.end());
        expect["F70000.BIN"] = randomBytes(10, 3);
        ASSERT_TRUE(writeCardFile("F70000.BIN", expect["F70000.BIN"]));
        ASSERT_EQ(ff::remove("F300000.BIN"), ff::FF_OK);
        expect.erase("F300000.BIN");
        ASSERT_EQ(ff::rename("F2047.BIN", "RENAMED.TXT"), ff::FF_OK);
        expect["RENAMED.TXT"] = expect["F2047.BIN"];
        expect.erase("F2047.BIN");
    }
    writeFile(image, disk.bytes);
    std::string report;
    EXPECT_TRUE(fsckClean(image, &report)) << report;
    std::string names;
    for (auto &[path, data] : expect) {
        EXPECT_EQ(mcopyOut(image, path), data) << path;
        if (path.find('/') == std::string::npos) names += path + "\n";
    }
    EXPECT_EQ(mdirNames(image, "/"), names + "SUB\n");
}

// Random operations checked against a model; afterwards fsck and mtools agree with the model.
TEST_P(EachFormat, RandomOperationsMatchAModel) {
    TempDir t;
    std::string image = t / "card.img";
    mkfs(image, GetParam().kib, GetParam().options);
    RamDisk disk{readFile(image)};
    std::map<std::string, std::vector<uint8_t>> model;
    std::mt19937 rng(1234);
    const char *names[] = {"A.TXT", "B.BIN", "C", "D.DAT", "SUB\\E.TXT", "SUB\\F", "SUB\\G.LOG"};
    {
        Volume v;
        ASSERT_TRUE(v.mount(disk));
        ASSERT_EQ(ff::mkdir("SUB"), ff::FF_OK);
        for (int step = 0; step < 300; step++) {
            std::string name = names[rng() % 7];
            uint32_t size = rng() % 3 == 0 ? rng() % 40000 : rng() % 1500;
            switch (rng() % 6) {
            case 0: // create or overwrite
                model[name] = randomBytes(size, step);
                ASSERT_TRUE(writeCardFile(name.c_str(), model[name])) << step;
                break;
            case 1: { // append
                std::vector<uint8_t> more = randomBytes(size, step);
                ASSERT_TRUE(writeCardFile(name.c_str(), more, ff::FF_APPEND)) << step;
                model[name].insert(model[name].end(), more.begin(), more.end());
                break;
            }
            case 2: // remove
                EXPECT_EQ(ff::remove(name.c_str()), model.count(name) ? ff::FF_OK : ff::FF_ERR_NOT_FOUND)
                    << step;
                model.erase(name);
                break;
            case 3: { // overwrite a stretch in the middle, possibly growing the file
                if (!model.count(name)) break;
                auto &m = model[name];
                uint32_t at = m.empty() ? 0 : rng() % (uint32_t)m.size();
                std::vector<uint8_t> patch = randomBytes(rng() % 3000, step);
                ff::FF_FILE *f = ff::fopen(name.c_str(), ff::FF_APPEND);
                ASSERT_NE(f, nullptr);
                ASSERT_EQ(ff::fseek(f, (int32_t)at, ff::FF_SEEK_SET), ff::FF_OK);
                ASSERT_EQ(ff::fwrite(patch.data(), 1, (uint32_t)patch.size(), f), patch.size());
                ASSERT_EQ(ff::fclose(f), ff::FF_OK);
                if (at + patch.size() > m.size()) m.resize(at + patch.size());
                std::copy(patch.begin(), patch.end(), m.begin() + at);
                break;
            }
            case 4: { // rename within its directory
                std::string to = name.substr(0, name.find('\\') + 1) + "R" + std::to_string(step % 5);
                bool taken = model.count(to) > 0;
                ff::FF_STATUS r = ff::rename(name.c_str(), to.substr(to.find('\\') + 1).c_str());
                EXPECT_EQ(r, !model.count(name) ? ff::FF_ERR_NOT_FOUND
                             : taken            ? ff::FF_ERR_EXISTS
                                                : ff::FF_OK)
                    << step;
                if (r == ff::FF_OK) {
                    model[to] = model[name];
                    model.erase(name);
                }
                break;
            }
            default: { // read back
                bool ok;
                std::vector<uint8_t> got = readCardFile(name.c_str(), &ok);
                EXPECT_EQ(ok, model.count(name) > 0) << step;
                if (ok) {
                    EXPECT_EQ(got, model[name]) << step << " " << name;
                }
                break;
            }
            }
        }
    }
    writeFile(image, disk.bytes);
    std::string report;
    EXPECT_TRUE(fsckClean(image, &report)) << report;
    for (auto &[name, data] : model) {
        std::string p = name;
        std::replace(p.begin(), p.end(), '\\', '/');
        EXPECT_EQ(mcopyOut(image, p), data) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Fat, EachFormat, ::testing::ValuesIn(formats), show);

class FatFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        mkfs(t / "card.img", 4096, "-F 16 -s 1");
        disk.bytes = readFile(t / "card.img");
        ASSERT_TRUE(v.mount(disk));
    }
    // The disk as an image file for the outside tools.
    std::string image() {
        writeFile(t / "card.img", disk.bytes);
        return t / "card.img";
    }
    TempDir t;
    RamDisk disk;
    Volume v;
};

TEST_F(FatFiles, OneFileAtATime) {
    ff::FF_FILE *first = ff::fopen("ONE.TXT", ff::FF_WRITE);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(ff::fopen("TWO.TXT", ff::FF_WRITE), nullptr);
    EXPECT_EQ(ff::_FF_error, ff::FF_ERR_OPEN);
    EXPECT_EQ(ff::fcreate("TWO.TXT", ff::FF_WRITE), nullptr);
    EXPECT_EQ(ff::_FF_error, ff::FF_ERR_OPEN);
    // The first stays open and usable.
    EXPECT_EQ(ff::fputc('x', first), 'x');
    EXPECT_EQ(ff::fclose(first), ff::FF_OK);
    EXPECT_EQ(readCardFile("ONE.TXT"), std::vector<uint8_t>{'x'});
    EXPECT_EQ(ff::fopen(nullptr, ff::FF_READ), nullptr);
    EXPECT_EQ(ff::_FF_error, ff::FF_ERR_NO_FILE);
    EXPECT_EQ(ff::fclose(nullptr), ff::FF_ERR_NO_FILE);
    EXPECT_EQ(ff::_FF_error, ff::FF_ERR_NO_FILE);
}

TEST_F(FatFiles, SeekLimitsAndOrigins) {
    ASSERT_TRUE(writeCardFile("S.BIN", randomBytes(1000, 1)));
    ff::FF_FILE *f = ff::fopen("S.BIN", ff::FF_READ);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(ff::fseek(f, 1000, ff::FF_SEEK_SET), ff::FF_OK);
    EXPECT_EQ(ff::ftell(f), 1000);
    EXPECT_TRUE(ff::feof(f));
    EXPECT_EQ(ff::fseek(f, 1001, ff::FF_SEEK_SET), ff::FF_ERR_SEEK);
    EXPECT_EQ(ff::_FF_error, ff::FF_ERR_SEEK);
    EXPECT_EQ(ff::ftell(f), 1000);
    EXPECT_EQ(ff::fseek(f, -3, ff::FF_SEEK_END), ff::FF_OK); // from the end: size - |offset|
    EXPECT_EQ(ff::ftell(f), 997);
    EXPECT_EQ(ff::fseek(f, 3, ff::FF_SEEK_END), ff::FF_OK);
    EXPECT_EQ(ff::ftell(f), 997);
    EXPECT_EQ(ff::fseek(f, -997, ff::FF_SEEK_CUR), ff::FF_OK);
    EXPECT_EQ(ff::ftell(f), 0);
    EXPECT_EQ(ff::fseek(f, -1, ff::FF_SEEK_CUR), ff::FF_ERR_SEEK);
    EXPECT_EQ(ff::fseek(f, 1001, ff::FF_SEEK_END), ff::FF_ERR_SEEK);
    EXPECT_EQ(ff::fseek(f, 600, ff::FF_SEEK_CUR), ff::FF_OK);
    EXPECT_EQ(ff::fgetc(f), randomBytes(1000, 1)[600]);
    ff::fclose(f);
}

TEST_F(FatFiles, TextLinesEndInCrLf) {
    ff::FF_FILE *f = ff::fcreate("T.TXT", ff::FF_WRITE);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(ff::fputs("abc", f), 0);
    EXPECT_EQ(f->size, 5u);
    EXPECT_EQ(ff::fprintf(f, "%d-%s", 42, "x"), 4);
    ff::fclose(f);
    EXPECT_EQ(readCardFile("T.TXT"), (std::vector<uint8_t>{'a', 'b', 'c', '\r', '\n', '4', '2', '-', 'x'}));

    f = ff::fopen("T.TXT", ff::FF_READ);
    char line[16];
    ASSERT_NE(ff::fgets(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "abc\r\n");
    EXPECT_EQ(ff::fgetc(f), '4');
    EXPECT_EQ(ff::ungetc('Q', f), 'Q');
    EXPECT_EQ(ff::ftell(f), 5);
    EXPECT_EQ(ff::fgetc(f), 'Q');
    ASSERT_NE(ff::fgets(line, 3, f), nullptr);
    EXPECT_STREQ(line, "2-");
    EXPECT_FALSE(ff::feof(f));
    EXPECT_EQ(ff::fgetc(f), 'x');
    EXPECT_TRUE(ff::feof(f));
    EXPECT_EQ(ff::fgetc(f), ff::FF_EOF);
    EXPECT_EQ(ff::fgets(line, sizeof line, f), nullptr);
    ff::fclose(f);

    // A file with no data cannot be read.
    ASSERT_TRUE(writeCardFile("EMPTY", {}));
    f = ff::fopen("EMPTY", ff::FF_READ);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(ff::fgetc(f), ff::FF_EOF);
    EXPECT_EQ(ff::_FF_error, ff::FF_ERR_ACCESS);
    EXPECT_EQ(ff::freadChunk(f, line, sizeof line), -1);
    ff::fclose(f);
    std::string report;
    EXPECT_TRUE(fsckClean(image(), &report)) << report;
}

TEST_F(FatFiles, ReadOnlyFilesAndModes) {
    std::vector<uint8_t> data = randomBytes(100, 4);
    writeFile(t / "ro.bin", data);
    mcopyIn(image(), t / "ro.bin", "RO.BIN");
    ASSERT_EQ(run("mattrib -i " + quote(t / "card.img") + " +r ::RO.BIN").status, 0);
    disk.bytes = readFile(t / "card.img");
    ASSERT_TRUE(v.mount(disk));
    EXPECT_EQ(ff::fopen("RO.BIN", ff::FF_WRITE), nullptr);
    EXPECT_EQ(ff::_FF_error, ff::FF_ERR_ACCESS);
    EXPECT_EQ(ff::remove("RO.BIN"), ff::FF_ERR_ACCESS);
    EXPECT_EQ(ff::_FF_error, ff::FF_ERR_ACCESS);
    ff::FF_FILE *f = ff::fopen("RO.BIN", ff::FF_READ);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(ff::fputc('x', f), ff::FF_EOF);
    EXPECT_EQ(ff::_FF_error, ff::FF_ERR_ACCESS);
    ff::fclose(f);
    EXPECT_EQ(readCardFile("RO.BIN"), data);
    EXPECT_EQ(ff::fopen("NOPE.TXT", ff::FF_READ), nullptr);
    EXPECT_EQ(ff::_FF_error, ff::FF_ERR_NOT_FOUND);
    EXPECT_EQ(ff::fopen("BAD*NAME", ff::FF_WRITE), nullptr);
    EXPECT_EQ(ff::fopen("TOOLONGNAME.TXT", ff::FF_WRITE), nullptr);
    EXPECT_EQ(ff::fopen("A.TEXT", ff::FF_WRITE), nullptr);
    EXPECT_EQ(ff::_FF_error, ff::FF_ERR_NAME);
}

TEST_F(FatFiles, DirectoriesAndListing) {
    ASSERT_EQ(ff::mkdir("SUB"), ff::FF_OK);
    EXPECT_EQ(ff::mkdir("sub"), ff::FF_ERR_EXISTS);
    EXPECT_EQ(ff::_FF_error, ff::FF_ERR_EXISTS);
    ASSERT_TRUE(writeCardFile("README", {'r'}));
    ASSERT_TRUE(writeCardFile("A.TXT", {'a'}));
    ASSERT_EQ(ff::chdir("SUB"), ff::FF_OK);
    ASSERT_TRUE(writeCardFile("IN.TXT", {'i', 'n'}));
    EXPECT_EQ(readCardFile("\\A.TXT"), std::vector<uint8_t>{'a'});
    EXPECT_EQ(readCardFile("..\\README"), std::vector<uint8_t>{'r'});
    ASSERT_EQ(ff::chdir(".."), ff::FF_OK);
    EXPECT_EQ(readCardFile("SUB\\IN.TXT"), (std::vector<uint8_t>{'i', 'n'}));
    EXPECT_EQ(ff::chdir("A.TXT"), ff::FF_ERR_NOT_DIR);
    EXPECT_EQ(ff::_FF_error, ff::FF_ERR_NOT_DIR);
    EXPECT_EQ(ff::chdir("NONE"), ff::FF_ERR_NOT_FOUND);
    EXPECT_EQ(ff::chdir(".."), ff::FF_OK); // the root's parent is the root
    EXPECT_EQ(ff::rmdir("SUB"), ff::FF_ERR_NOT_EMPTY);
    EXPECT_EQ(ff::_FF_error, ff::FF_ERR_NOT_EMPTY);

    ff::FF_DIRENT e;
    std::string listed;
    char name[13];
    for (int more = ff::read_directory_entry(&e, 0); more; more = ff::read_directory_entry(&e, 1))
        listed +=
            std::string(ff::NameFromDirEntry(&e, name)) + ((e.attr & ff::FF_ATTR_DIRECTORY) ? "/" : "") + ",";
    EXPECT_EQ(listed, "SUB/,README,A.TXT,");
    ASSERT_EQ(ff::chdir("\\SUB"), ff::FF_OK);
    listed.clear();
    for (int more = ff::read_directory_entry(&e, 0); more; more = ff::read_directory_entry(&e, 1))
        listed += std::string(ff::NameFromDirEntry(&e, name)) + ",";
    EXPECT_EQ(listed, ".,..,IN.TXT,");
    EXPECT_EQ(ff::rmdir("\\SUB"), ff::FF_ERR_NOT_EMPTY); // the current directory stays
    ASSERT_EQ(ff::remove("IN.TXT"), ff::FF_OK);
    ASSERT_EQ(ff::chdir("\\"), ff::FF_OK);
    EXPECT_EQ(ff::remove("SUB"), ff::FF_ERR_IS_DIR);
    EXPECT_EQ(ff::_FF_error, ff::FF_ERR_IS_DIR);
    EXPECT_EQ(ff::rmdir("SUB"), ff::FF_OK);
    EXPECT_TRUE(ff::fget_file_info("README", &e));
    EXPECT_EQ(e.size, 1u);
    EXPECT_FALSE(ff::fget_file_info("SUB", &e));
    std::string report;
    EXPECT_TRUE(fsckClean(image(), &report)) << report;
    EXPECT_EQ(mdirNames(image(), "/"), "A.TXT\nREADME\n");
}

TEST_F(FatFiles, SubdirectoryGrowsAndRootFills) {
    ASSERT_EQ(ff::mkdir("MANY"), ff::FF_OK);
    for (int i = 0; i < 60; i++) { // 16 entries per one-sector cluster
        std::string n = "MANY\\N" + std::to_string(i) + ".TXT";
        ASSERT_TRUE(writeCardFile(n.c_str(), randomBytes((uint32_t)i * 37, i))) << i;
    }
    // mkfs.fat gives this card 512 root entries; one is MANY.
    int made = 1;
    for (; made < 600; made++) {
        std::string n = "R" + std::to_string(made);
        ff::FF_FILE *f = ff::fopen(n.c_str(), ff::FF_WRITE);
        if (!f) break;
        ff::fclose(f);
    }
    EXPECT_EQ(made, 512);
    EXPECT_EQ(ff::_FF_error, ff::FF_ERR_FULL);
    std::string report;
    EXPECT_TRUE(fsckClean(image(), &report)) << report;
    for (int i = 0; i < 60; i += 7)
        EXPECT_EQ(mcopyOut(image(), "MANY/N" + std::to_string(i) + ".TXT"), randomBytes((uint32_t)i * 37, i));
}

TEST_F(FatFiles, ContiguousFileWrittenWithoutTheFat) {
    // Free space in pieces: the contiguous file must go where the run is long enough.
    for (int i = 0; i < 8; i++)
        ASSERT_TRUE(writeCardFile(("P" + std::to_string(i)).c_str(), randomBytes(3000, i)));
    for (int i = 0; i < 8; i += 2) ASSERT_EQ(ff::remove(("P" + std::to_string(i)).c_str()), ff::FF_OK);
    ASSERT_EQ(ff::fcreate_contig_file("ZEFO5.BIN", 200000), ff::FF_OK);
    EXPECT_EQ(ff::fcreate_contig_file("ZEFO5.BIN", 10), ff::FF_ERR_EXISTS);
    EXPECT_EQ(ff::_FF_error, ff::FF_ERR_EXISTS);
    ff::FF_FILE *f = ff::fopen("ZEFO5.BIN", ff::FF_APPEND_CONTIG);
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> written = {0xEB, 0xFE};
    ASSERT_EQ(ff::fwriteChunkToContiguousFile(f, written.data(), 2), 2u);
    for (int line = 0; line < 300; line++) {
        std::vector<uint8_t> l = randomBytes(128, line);
        ASSERT_EQ(ff::fwriteChunkToContiguousFile(f, l.data(), 128), 128u);
        written.insert(written.end(), l.begin(), l.end());
    }
    ASSERT_EQ(ff::fsetFileSize(f, (uint32_t)written.size()), ff::FF_OK);
    ASSERT_EQ(ff::fclose(f), ff::FF_OK);
    EXPECT_EQ(readCardFile("ZEFO5.BIN"), written);
    std::string report;
    EXPECT_TRUE(fsckClean(image(), &report)) << report; // no clusters beyond the size stay allocated
    EXPECT_EQ(mcopyOut(image(), "ZEFO5.BIN"), written);
    // A file whose clusters are not consecutive is not opened that way.
    ASSERT_TRUE(writeCardFile("P1", randomBytes(20000, 1), ff::FF_APPEND));
    EXPECT_EQ(ff::fopen("P1", ff::FF_APPEND_CONTIG), nullptr);
    EXPECT_EQ(ff::fcreate_contig_file("HUGE.BIN", 64u << 20), ff::FF_ERR_FULL);
    EXPECT_EQ(ff::_FF_error, ff::FF_ERR_FULL);
}

TEST_F(FatFiles, QuickFormatEmptiesTheCard) {
    ASSERT_EQ(ff::mkdir("D"), ff::FF_OK);
    ASSERT_TRUE(writeCardFile("D\\X.BIN", randomBytes(50000, 1)));
    uint32_t total = ff::ffFreeClusters() + 50000 / ff::ffClusterBytes() + 2;
    ASSERT_EQ(ff::chdir("D"), ff::FF_OK);
    ASSERT_EQ(ff::fquickformat(), ff::FF_OK);
    EXPECT_EQ(ff::ffFreeClusters(), total);
    ff::FF_DIRENT e;
    EXPECT_EQ(ff::read_directory_entry(&e, 0), 0); // back in an empty root
    ASSERT_TRUE(writeCardFile("NEW.TXT", {'n'}));
    std::string report;
    EXPECT_TRUE(fsckClean(image(), &report)) << report;
    EXPECT_EQ(mdirNames(image(), "/"), "NEW.TXT\n");
}

TEST_F(FatFiles, LongNamesGoWithTheirFile) {
    writeFile(t / "Long File Name.txt", randomBytes(700, 1));
    writeFile(t / "another long name.bin", randomBytes(900, 2));
    mcopyIn(image(), t / "Long File Name.txt", "Long File Name.txt");
    mcopyIn(t / "card.img", t / "another long name.bin", "another long name.bin");
    disk.bytes = readFile(t / "card.img");
    ASSERT_TRUE(v.mount(disk));
    ASSERT_EQ(ff::remove("LONGFI~1.TXT"), ff::FF_OK);
    ASSERT_EQ(ff::rename("ANOTHE~1.BIN", "SHORT.BIN"), ff::FF_OK);
    std::string report;
    EXPECT_TRUE(fsckClean(image(), &report)) << report; // no orphaned long-name entries
    EXPECT_EQ(mdirNames(image(), "/"), "SHORT.BIN\n");
    EXPECT_EQ(mcopyOut(image(), "SHORT.BIN"), randomBytes(900, 2));
}

// The card goes away after any number of sector writes while one file is written: the other
// files stay readable and unchanged.
TEST_F(FatFiles, PulledCardSparesTheOtherFiles) {
    std::vector<uint8_t> a = randomBytes(20000, 1), b = randomBytes(3000, 2);
    ASSERT_TRUE(writeCardFile("A.BIN", a));
    ASSERT_EQ(ff::mkdir("DIR"), ff::FF_OK);
    ASSERT_TRUE(writeCardFile("DIR\\B.BIN", b));
    ff::ffUnmount();
    const std::vector<uint8_t> before = disk.bytes;
    for (long n = 0; n < 130; n += (n < 30 ? 1 : 7)) {
        disk.bytes = before;
        ASSERT_TRUE(v.mount(disk));
        disk.writesLeft = n;
        std::vector<uint8_t> c = randomBytes(40000, (uint32_t)n);
        writeCardFile("DIR\\NEW.BIN", c); // fails somewhere
        writeCardFile("A.BIN", b, ff::FF_APPEND);
        disk.writesLeft = -1;
        ff::ffUnmount();
        ASSERT_TRUE(v.mount(disk));
        EXPECT_EQ(readCardFile("DIR\\B.BIN"), b) << n;
        std::vector<uint8_t> got = readCardFile("A.BIN");
        ASSERT_GE(got.size(), a.size()) << n;
        EXPECT_TRUE(std::equal(a.begin(), a.end(), got.begin())) << n; // only its new end may be lost
        writeFile(t / "card.img", disk.bytes);
        EXPECT_EQ(mcopyOut(t / "card.img", "DIR/B.BIN"), b) << n;
        ff::ffUnmount();
    }
}

// ---- mounting ------------------------------------------------------------------------------------------

void putMbrEntry(std::vector<uint8_t> &img, int slot, uint8_t boot, uint8_t type, uint32_t start,
                 uint32_t count) {
    uint8_t *e = img.data() + 0x1BE + 16 * slot;
    e[0] = boot;
    e[4] = type;
    for (int i = 0; i < 4; i++) {
        e[8 + i] = (uint8_t)(start >> (8 * i));
        e[12 + i] = (uint8_t)(count >> (8 * i));
    }
    img[510] = 0x55;
    img[511] = 0xAA;
}

TEST(FatMount, PartitionedCards) {
    TempDir t;
    mkfs(t / "part.img", 16384, "-F 16");
    writeFile(t / "hello.txt", randomBytes(5000, 9));
    mcopyIn(t / "part.img", t / "hello.txt", "HELLO.TXT");
    std::vector<uint8_t> part = readFile(t / "part.img");

    // The second entry holds the volume; the first is unused. The start lies beyond 16 bits.
    const uint32_t start = 70000;
    RamDisk disk;
    disk.bytes.assign((size_t)start * 512, 0);
    disk.bytes.insert(disk.bytes.end(), part.begin(), part.end());
    putMbrEntry(disk.bytes, 1, 0x00, 0x06, start, (uint32_t)(part.size() / 512));
    {
        Volume v;
        ASSERT_TRUE(v.mount(disk));
        EXPECT_EQ(readCardFile("HELLO.TXT"), randomBytes(5000, 9));
        ASSERT_TRUE(writeCardFile("NEW.TXT", {'n'}));
    }
    // Written where the volume is: the partition checks clean on its own.
    writeFile(t / "part.img",
              std::vector<uint8_t>(disk.bytes.begin() + (size_t)start * 512, disk.bytes.end()));
    std::string report;
    EXPECT_TRUE(fsckClean(t / "part.img", &report)) << report;
    EXPECT_EQ(mcopyOut(t / "part.img", "NEW.TXT"), std::vector<uint8_t>{'n'});

    // A sector 0 that looks like a boot sector but has a bootable first entry is a partition table.
    RamDisk tricky;
    tricky.bytes.assign(2048 * 512, 0);
    tricky.bytes.insert(tricky.bytes.end(), part.begin(), part.end());
    tricky.bytes[0] = 0xEB;
    tricky.bytes[2] = 0x90;
    putMbrEntry(tricky.bytes, 0, 0x80, 0x06, 2048, (uint32_t)(part.size() / 512));
    Volume v;
    EXPECT_TRUE(v.mount(tricky));
    EXPECT_EQ(readCardFile("HELLO.TXT"), randomBytes(5000, 9));

    // No signature, or no partition with a type: nothing mounts.
    RamDisk blank;
    blank.bytes.assign(1 << 20, 0);
    EXPECT_FALSE(v.mount(blank));
    putMbrEntry(blank.bytes, 0, 0, 0, 0, 0);
    EXPECT_FALSE(v.mount(blank));
    EXPECT_EQ(ff::fopen("HELLO.TXT", ff::FF_READ), nullptr);
}

TEST(FatMount, Fat32IsRefused) {
    TempDir t;
    mkfs(t / "f32.img", 40000, "-F 32 -s 1");
    RamDisk disk{readFile(t / "f32.img")};
    Volume v;
    EXPECT_FALSE(v.mount(disk));
    EXPECT_EQ(ff::_FF_error, ff::FF_ERR_FORMAT);
    EXPECT_FALSE(ff::ffMounted());
}

TEST(FatMount, BootSectorWithNearJump) {
    TempDir t;
    mkfs(t / "c.img", 2048, "-F 12");
    RamDisk disk{readFile(t / "c.img")};
    disk.bytes[0] = 0xE9;
    Volume v;
    EXPECT_TRUE(v.mount(disk));
}

// ---- formatting
// --------------------------------------------------------------------------------------------

struct FormatCase {
    uint32_t kib;
    int bits;
    int expectBits;
};

TEST(FatFormat, OwnFormatsPassFsckAndMtools) {
    const FormatCase cases[] = {
        {1024, 0, 12},   {4200, 0, 12},   {4300, 0, 16},  {8192, 0, 16},  {32768, 0, 16},
        {307200, 0, 16}, {65536, 12, 12}, {3072, 16, 16}, {2048, 12, 12},
    };
    for (const FormatCase &c : cases) {
        SCOPED_TRACE(std::to_string(c.kib) + " KiB FAT" + std::to_string(c.bits));
        TempDir t;
        RamDisk disk;
        disk.bytes.assign((size_t)c.kib * 1024, 0xA5);
        Volume v;
        ff::FF_BlockDevice d = disk.device();
        ASSERT_EQ(ff::ffFormat(&d, 0, d.sectors, c.bits), ff::FF_OK);
        ASSERT_TRUE(v.mount(disk));
        std::vector<uint8_t> mine = randomBytes(70000, c.kib);
        ASSERT_TRUE(writeCardFile("MINE.BIN", mine));
        ff::ffUnmount();
        writeFile(t / "c.img", disk.bytes);
        std::string report;
        EXPECT_TRUE(fsckClean(t / "c.img", &report)) << report;
        Result info = run("minfo -i " + quote(t / "c.img"));
        EXPECT_NE(info.out.find(c.expectBits == 12 ? "FAT12" : "FAT16"), std::string::npos) << info.out;
        EXPECT_EQ(mcopyOut(t / "c.img", "MINE.BIN"), mine);
        writeFile(t / "theirs", randomBytes(12345, 1));
        mcopyIn(t / "c.img", t / "theirs", "THEIRS.DAT");
        disk.bytes = readFile(t / "c.img");
        ASSERT_TRUE(v.mount(disk));
        EXPECT_EQ(readCardFile("THEIRS.DAT"), randomBytes(12345, 1));
    }
    // Sizes a type cannot have.
    RamDisk small;
    small.bytes.assign(1 << 20, 0);
    Volume v;
    ff::FF_BlockDevice d = small.device();
    EXPECT_EQ(ff::ffFormat(&d, 0, d.sectors, 16), ff::FF_ERR_FORMAT);
    EXPECT_EQ(ff::ffFormat(&d, 0, 20, 12), ff::FF_ERR_FORMAT);
}

} // namespace
