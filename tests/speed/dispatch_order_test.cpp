// The dispatch index picks, for every line, the row a walk over the whole catalogue in table order
// picks: for each row's keyword and its cut-off and extended forms, for lines built from each
// row's own test, and for a large sample of random lines near the vocabulary.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "app/catalogue.h"
#include "app/commands.h"

namespace {

// The C library's verdict on a pattern: every conversion writes into a slot big enough for the
// widest one the catalogue uses.
int sscanfCount(const char *line, const char *pattern) {
    union Slot {
        int i;
        unsigned u;
        long l;
        char s[64];
    } v[16];
    return sscanf(line, pattern, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &v[10],
                  &v[11], &v[12], &v[13], &v[14], &v[15]);
}

// Each row's test as written: a pattern row scans the line with sscanf.
bool referenceMatches(const CatalogueRow &row, const char *line) {
    if (row.test == TEST_PATTERN) {
        int count = sscanfCount(line, row.key);
        return count >= row.n && count <= row.nmax;
    }
    if (row.test == TEST_CHARS && row.pattern) {
        if (strncmp(line, row.key, strlen(row.key)) != 0) return false;
        int count = sscanfCount(line, row.pattern);
        return count >= row.n && count <= row.nmax;
    }
    return catalogueRowMatches(row, line);
}

// The plain walk: every row's test as written, in table order.
uint16_t plainFind(const char *line, uint16_t from) {
    for (uint16_t i = from; i < commandCatalogueSize; i++)
        if (referenceMatches(commandCatalogue[i], line)) return i;
    return commandCatalogueSize;
}

// The matcher returns what sscanf returns, for every pattern of the table.
void expectSameCounts(const std::string &line) {
    for (uint16_t i = 0; i < commandCatalogueSize; i++) {
        const CatalogueRow &row = commandCatalogue[i];
        const char *pattern = row.test == TEST_PATTERN ? row.key : row.pattern;
        if (!pattern) continue;
        ASSERT_EQ(catalogueScanCount(line.c_str(), pattern), sscanfCount(line.c_str(), pattern))
            << "line \"" << line << "\" pattern \"" << pattern << "\"";
    }
    ASSERT_EQ(catalogueScanCount(line.c_str(), macroCallPattern), sscanfCount(line.c_str(), macroCallPattern))
        << "line \"" << line << "\" macro call";
}

// catalogueRowMatches and the sscanf of a pattern leave the line as it was, but each walk gets its
// own copy all the same.
void expectSame(const std::string &line) {
    expectSameCounts(line);
    if (::testing::Test::HasFatalFailure()) return;
    for (uint16_t from : {(uint16_t)0, catalogueResumeRow}) {
        std::string a = line, b = line;
        uint16_t indexed = catalogueFind(a.c_str(), from), plain = plainFind(b.c_str(), from);
        ASSERT_EQ(indexed, plain) << "line \"" << line << "\" from row " << from << ": indexed row "
                                  << (indexed < commandCatalogueSize ? commandCatalogue[indexed].key : "none")
                                  << ", plain row "
                                  << (plain < commandCatalogueSize ? commandCatalogue[plain].key : "none");
    }
}

// A line that fills a pattern's conversions with plausible values.
std::string instantiate(const char *pattern, int variant) {
    static const char *ints[] = {"12", "-3", "0", "400"};
    std::string out;
    for (const char *p = pattern; *p; p++) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        p++;
        bool skip = *p == '*';
        if (skip) p++;
        while (*p >= '0' && *p <= '9') p++;
        while (*p == 'l' || *p == 'h') p++;
        switch (*p) {
        case 'd':
        case 'u':
            out += ints[variant % 4];
            break;
        case 'x':
            out += variant % 2 ? "1f" : "FFFF";
            break;
        case 'c':
            out += variant % 2 ? "a" : "1";
            break;
        case 's':
            out += skip ? "pwx" : (variant % 2 ? "sys" : "off");
            break;
        default:
            out += *p;
        }
        if (!*p) break;
    }
    return out;
}

TEST(DispatchOrder, DecliningHandlersResumeAtTheArcRow) {
    ASSERT_LT(catalogueResumeRow, commandCatalogueSize);
    EXPECT_EQ(commandCatalogue[catalogueResumeRow].handler, cmd_a);
}

TEST(DispatchOrder, EveryKeywordAndItsNeighbours) {
    static const char *tails[] = {
        "",    " ",    "x",         "1", " 1",    " 1 2", " 1 2 3", " 1 2 3 4", " 1 2 3 4 5 6 7",
        " on", " off", " \"text\"", "s", "s 1 2", "?",    " all",   "\t5"};
    for (uint16_t i = 0; i < commandCatalogueSize; i++) {
        std::string key = commandCatalogue[i].key;
        for (size_t cut = 0; cut <= key.size(); cut++) {
            for (const char *tail : tails) expectSame(key.substr(0, cut) + tail);
        }
    }
}

TEST(DispatchOrder, LinesBuiltFromEveryRowsTest) {
    for (uint16_t i = 0; i < commandCatalogueSize; i++) {
        const CatalogueRow &row = commandCatalogue[i];
        for (int v = 0; v < 4; v++) {
            if (row.test == TEST_PATTERN) {
                std::string line = instantiate(row.key, v);
                expectSame(line);
                // No blanks at all, and the values cut short.
                std::string tight;
                for (char c : line)
                    if (c != ' ') tight += c;
                expectSame(tight);
                for (size_t cut = 1; cut < line.size(); cut += 3) expectSame(line.substr(0, cut));
            } else if (row.test == TEST_CHARS && row.pattern) {
                expectSame(row.key + instantiate(row.pattern, v).substr(3));
            } else if (row.test == TEST_PREFIX) {
                expectSame(std::string(row.key, row.n) + instantiate(" %d %d %s", v));
            }
        }
    }
    // The binary macro call and other binary lines.
    for (int b = 0x81; b <= 0xFF; b++) {
        expectSame(std::string(1, (char)b) + "M\x05");
        expectSame(std::string(1, (char)b) + "x");
    }
}

TEST(DispatchOrder, RandomLinesNearTheVocabulary) {
    // Characters of the keywords weigh more than the rest, so that many lines get far into a row.
    std::string alphabet = " \t0123456789%\"?*/~";
    for (uint16_t i = 0; i < commandCatalogueSize; i++) alphabet += commandCatalogue[i].key;
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (int n = 0; n < 60000; n++) {
        std::string line;
        uint32_t r = next();
        if (r % 3 == 0) { // a keyword start, then noise
            const char *key = commandCatalogue[next() % commandCatalogueSize].key;
            line.assign(key, next() % (strlen(key) + 1));
        }
        int length = (int)(next() % 12);
        for (int k = 0; k < length; k++)
            line += next() % 16 ? alphabet[next() % alphabet.size()] : (char)(next() % 255 + 1);
        expectSame(line);
        if (HasFatalFailure()) return;
    }
}

// Lines built from each pattern with awkward values in its conversions: signs alone and doubled,
// numbers past 32 and 64 bits, hex prefixes with and without digits, blanks before and inside,
// cut-off lines, values of the wrong kind.
TEST(DispatchOrder, PatternValuesOfEveryShape) {
    static const char *values[] = {"7",
                                   "-3",
                                   "+12",
                                   "-",
                                   "+",
                                   "--5",
                                   "+-1",
                                   "0",
                                   "00",
                                   "4294967296",
                                   "-2147483649",
                                   "99999999999999999999999",
                                   "0x",
                                   "0X1f",
                                   "0xg",
                                   "0x 5",
                                   "-0x1A",
                                   "+0",
                                   "ff",
                                   "FfZ",
                                   "abc",
                                   "abcdefghijklmnopqrstu",
                                   "a",
                                   "\t9",
                                   "  \t 8",
                                   " ",
                                   "",
                                   "\"q\"",
                                   "x",
                                   "1x2",
                                   "%d",
                                   "\x7f",
                                   "\xc3\xa9",
                                   "1e3",
                                   "0xffffffffff",
                                   "\v\f5"};
    constexpr size_t V = sizeof values / sizeof values[0];
    uint32_t seed = 777;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (uint16_t i = 0; i < commandCatalogueSize; i++) {
        const CatalogueRow &row = commandCatalogue[i];
        const char *pattern = row.test == TEST_PATTERN ? row.key : row.pattern;
        if (!pattern) continue;
        for (int n = 0; n < 400; n++) {
            std::string line;
            for (const char *p = pattern; *p; p++) {
                if (*p != '%') {
                    // A blank of the pattern becomes none, one or several of any kind.
                    if (*p == ' ') {
                        static const char *blanks[] = {"", " ", "  ", "\t", " \r\n"};
                        line += blanks[next() % 5];
                    } else {
                        line += *p;
                    }
                    continue;
                }
                while (*p && !strchr("dusxc", *p)) p++;
                if (!*p) break;
                line += n % 7 == 0 ? "" : values[next() % V];
                if (next() % 4 == 0) line += values[next() % V];
            }
            if (row.test == TEST_CHARS) line = row.key + line;
            expectSame(line);
            if (n % 3 == 0) expectSame(line.substr(0, next() % (line.size() + 1)));
            if (HasFatalFailure()) return;
        }
    }
}

} // namespace
