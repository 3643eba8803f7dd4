// The font table: listed names, aliases, kinds and heights, look-up order, and what each compiled
// font holds.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "gfx/font_table.h"
#include "gfx/text.h"
#include "tests/support/text_screen.h"

namespace {

struct Expected {
    const char *name;
    const GUI_FONT *font;
    uint8_t kind;
    uint16_t height;
};

// Name, font, kind and cell height of every listed row.
const Expected kListed[] = {
    {"8s", &GUI_FontArial8, GUI_FONTKIND_PROP, 14},      {"8Bs", &GUI_FontArial8B, GUI_FONTKIND_PROP, 14},
    {"8", &GUI_FontArial8, GUI_FONTKIND_PROP, 14},       {"8B", &GUI_FontArial8B, GUI_FONTKIND_PROP, 14},
    {"10s", &GUI_FontArial10, GUI_FONTKIND_PROP, 16},    {"10Bs", &GUI_FontArial10B, GUI_FONTKIND_PROP, 16},
    {"10", &GUI_FontArial10AA4, GUI_FONTKIND_AA4, 16},   {"10B", &GUI_FontArial10BAA4, GUI_FONTKIND_AA4, 16},
    {"12", &GUI_FontArial12AA4, GUI_FONTKIND_AA4, 18},   {"12B", &GUI_FontArial12BAA4, GUI_FONTKIND_AA4, 19},
    {"14", &GUI_FontArial14AA4, GUI_FONTKIND_AA4, 22},   {"14B", &GUI_FontArial14BAA4, GUI_FONTKIND_AA4, 22},
    {"16", &GUI_FontArial16AA4, GUI_FONTKIND_AA4, 25},   {"16B", &GUI_FontArial16BAA4, GUI_FONTKIND_AA4, 26},
    {"20", &GUI_FontArial20AA4, GUI_FONTKIND_AA4, 32},   {"20B", &GUI_FontArial20BAA4, GUI_FONTKIND_AA4, 32},
    {"24", &GUI_FontArial24AA4, GUI_FONTKIND_AA4, 38},   {"24B", &GUI_FontArial24BAA4, GUI_FONTKIND_AA4, 38},
    {"32", &GUI_FontArial32AA4, GUI_FONTKIND_AA4, 50},   {"32B", &GUI_FontArial32BAA4, GUI_FONTKIND_AA4, 51},
    {"48", &GUI_FontMono48, GUI_FONTKIND_PROP_EXT, 83},  {"64", &GUI_FontMono64, GUI_FONTKIND_PROP_EXT, 110},
    {"m8", &GUI_FontMono8AA4, GUI_FONTKIND_AA4, 14},     {"m8B", &GUI_FontMono8BAA4, GUI_FONTKIND_AA4, 14},
    {"m10", &GUI_FontMono10AA4, GUI_FONTKIND_AA4, 17},   {"m10B", &GUI_FontMono10BAA4, GUI_FONTKIND_AA4, 17},
    {"m12", &GUI_FontMono12AA4, GUI_FONTKIND_AA4, 20},   {"m12B", &GUI_FontMono12BAA4, GUI_FONTKIND_AA4, 20},
    {"m14", &GUI_FontMono14AA4, GUI_FONTKIND_AA4, 24},   {"m14B", &GUI_FontMono14BAA4, GUI_FONTKIND_AA4, 24},
    {"m16", &GUI_FontMono16AA4, GUI_FONTKIND_AA4, 28},   {"m16B", &GUI_FontMono16BAA4, GUI_FONTKIND_AA4, 28},
    {"m20", &GUI_FontMono20AA4, GUI_FONTKIND_AA4, 35},   {"m20B", &GUI_FontMono20BAA4, GUI_FONTKIND_AA4, 35},
    {"m24", &GUI_FontMono24AA4, GUI_FONTKIND_AA4, 42},   {"m24B", &GUI_FontMono24BAA4, GUI_FONTKIND_AA4, 42},
    {"m32", &GUI_FontMono32AA4, GUI_FONTKIND_AA4, 54},   {"m32B", &GUI_FontMono32BAA4, GUI_FONTKIND_AA4, 54},
    {"m48", &GUI_FontMono48, GUI_FONTKIND_PROP_EXT, 83}, {"m64", &GUI_FontMono64, GUI_FONTKIND_PROP_EXT, 110},
};

const struct {
    const char *name;
    const GUI_FONT *font;
} kAliases[] = {
    {"dummy", &GUI_FontArial8},    {"10S", &GUI_FontArial8},       {"13", &GUI_FontArial10},
    {"13B", &GUI_FontArial10B},    {"x16", &GUI_Font16_1},         {"x16B", &GUI_Font16B_1},
    {"18BC", &GUI_FontArial24AA4}, {"24BC", &GUI_FontArial24AA4},  {"4x6", &GUI_FontMono8AA4},
    {"6x8", &GUI_FontMono8AA4},    {"6x9", &GUI_FontMono8AA4},     {"8x8", &GUI_FontMono8AA4},
    {"8x9", &GUI_FontMono8AA4},    {"8x10", &GUI_FontMono10AA4},   {"8x12", &GUI_FontMono12AA4},
    {"8x13", &GUI_FontMono12AA4},  {"8x15B", &GUI_FontMono14AA4},  {"8x16", &GUI_FontMono16AA4},
    {"8x16L", &GUI_FontMono16AA4}, {"12x24", &GUI_FontMono24AA4},  {"14x24", &GUI_FontMono24AA4},
    {"16x32", &GUI_FontMono32AA4}, {"16x32i", &GUI_FontMono32AA4}, {"24x48", &GUI_FontMono48},
    {"32x64", &GUI_FontMono64},    {"40x80", &GUI_FontMono64},     {"60x120", &GUI_FontMono64},
};

std::vector<std::string> listing() {
    std::vector<std::string> names;
    for (const char *n; (n = QV_FontName()) != nullptr;) names.push_back(n);
    return names;
}

} // namespace

TEST(FontTable, ListsTheFortyNamesUpToDummyInOrder) {
    QV_UserFontsClear();
    std::vector<std::string> names = listing();
    ASSERT_EQ(names.size(), 40u);
    for (size_t i = 0; i < 40; i++) EXPECT_EQ(names[i], kListed[i].name);
    // The cursor starts again after the end.
    EXPECT_EQ(listing(), names);
}

TEST(FontTable, ListedRowsHaveTheirFontKindAndHeight) {
    for (const Expected &e : kListed) {
        const QV_FONT_ENTRY *row = QV_FindFont(e.name);
        ASSERT_NE(row, nullptr) << e.name;
        EXPECT_EQ(row->pFont, e.font) << e.name;
        EXPECT_EQ(row->pFont->Kind, e.kind) << e.name;
        EXPECT_EQ(row->pFont->YSize, e.height) << e.name;
        EXPECT_EQ(row->pFont->BitsPerPixel, e.kind == GUI_FONTKIND_AA4 ? 4 : 1) << e.name;
    }
    EXPECT_EQ(GUI_Font16_1.YSize, 16);
    EXPECT_EQ(GUI_Font16B_1.YSize, 16);
    EXPECT_EQ(GUI_Font16_1.BitsPerPixel, 1);
}

TEST(FontTable, AliasesAreFoundButNotListed) {
    for (auto &a : kAliases) {
        const QV_FONT_ENTRY *row = QV_FindFont(a.name);
        ASSERT_NE(row, nullptr) << a.name;
        EXPECT_EQ(row->pFont, a.font) << a.name;
    }
    std::vector<std::string> names = listing();
    for (auto &a : kAliases) {
        for (auto &n : names) EXPECT_NE(n, a.name);
    }
    // The first row of a name wins.
    EXPECT_EQ(QV_FindFont("24B")->pFont, &GUI_FontArial24BAA4);
    EXPECT_EQ(QV_FindFont("32")->pFont, &GUI_FontArial32AA4);
    // Case matters; unknown names find nothing.
    EXPECT_EQ(QV_FindFont("m12b"), nullptr);
    EXPECT_EQ(QV_FindFont("nofont"), nullptr);
    EXPECT_EQ(QV_FindFont(""), nullptr);
}

TEST(FontTable, SelectingANameMakesItCurrent) {
    textScreen();
    EXPECT_TRUE(GUIDEMO_SetFont("24B"));
    EXPECT_EQ(GUI_GetFont(), &GUI_FontArial24BAA4);
    EXPECT_STREQ(QV_GetCurrentFontName(), "24B");
    EXPECT_TRUE(GUIDEMO_SetFont("16x32i"));
    EXPECT_EQ(GUI_GetFont(), &GUI_FontMono32AA4);
    EXPECT_STREQ(QV_GetCurrentFontName(), "16x32i");
    EXPECT_FALSE(GUIDEMO_SetFont("17"));
    EXPECT_STREQ(QV_GetCurrentFontName(), "16x32i");
    EXPECT_EQ(GUI_GetFont(), &GUI_FontMono32AA4);
}

// Every compiled font holds printable ASCII and Latin-1, its glyphs stay inside the cell, and the
// monospaced fonts have one advance.
TEST(FontTable, CompiledFontsCoverAsciiAndLatin1) {
    for (const QV_FONT_ENTRY *e = fontTable; e->Name[0]; e++) {
        const GUI_FONT *f = e->pFont;
        bool mono = e->Name[0] == 'm' || f == &GUI_FontMono48 || f == &GUI_FontMono64;
        int32_t advance = -1;
        for (uint32_t c = 0x20; c <= 0xFF; c++) {
            if (c >= 0x7F && c < 0xA0) continue;
            GUI_GLYPH g;
            ASSERT_TRUE(GUI__GetGlyph(f, (uint16_t)c, &g)) << e->Name << " " << c;
            EXPECT_GT(g.XDist, 0) << e->Name << " " << c;
            EXPECT_GE(g.YOff, 0);
            EXPECT_LE(g.YOff + g.YSize, f->YSize) << e->Name << " " << c;
            if (c != 0x20 && c != 0xA0) {
                EXPECT_GT(g.XSize, 0) << e->Name << " " << c;
            }
            if (mono) {
                if (advance < 0) advance = g.XDist;
                EXPECT_EQ(g.XDist, advance) << e->Name << " " << c;
            }
        }
        GUI_GLYPH g;
        EXPECT_FALSE(GUI__GetGlyph(f, 0x1F, &g));
        EXPECT_FALSE(GUI__GetGlyph(f, 0x80, &g));
        EXPECT_FALSE(GUI__GetGlyph(f, 0x20AC, &g));
        EXPECT_LT(f->Baseline, f->YSize);
        EXPECT_GT(f->CHeight, f->LHeight);
    }
}
