// The macro executor and the macro commands, on images made by the image builder.
#include <string.h>

#include <gtest/gtest.h>

#include "app/commands.h"
#include "macro/macro.h"
#include "resource/resource.h"
#include "settings/settings.h"
#include "tests/support/macro_env.h"
#include "tools/pack/image.h"

namespace {

using Lines = std::vector<std::string>;

struct Engine : testing::Test {
    pack::Image img;
    void SetUp() override { resetEnv(); }
    void macro(int k, const std::string &name, const Lines &lines) {
        if (img.macros.size() < (size_t)k) img.macros.resize(k);
        img.macros[k - 1] = pack::Macro{name, lines, true};
    }
    void load() {
        std::vector<uint8_t> bin;
        std::string error;
        ASSERT_TRUE(pack::build(img, &bin, &error)) << error;
        loadImage(bin);
    }
    // A host line; returns its output followed by "!" (result 0), "+" (1) or the result number.
    std::string run(const char *line) {
        sent.clear();
        standin::ran.clear();
        int r = host(line);
        return sent + (r == 0 ? "!" : r == 1 ? "+" : std::to_string(r));
    }
    // The lines the interpreter ran, without the first (the host line itself).
    Lines inner() const {
        return standin::ran.size() > 1 ? Lines(standin::ran.begin() + 1, standin::ran.end()) : Lines();
    }
};

TEST_F(Engine, SectionsAndTheirEntry) {
    macro(1, "sect", {"X", ":a", "A", ":b", "B"});
    load();
    EXPECT_EQ(run("m1"), "+");
    EXPECT_EQ(inner(), (Lines{"X"}));
    EXPECT_EQ(run("m1:b"), "+");
    EXPECT_EQ(inner(), (Lines{"X", "B"}));
    EXPECT_EQ(run("m sect:a"), "+");
    EXPECT_EQ(inner(), (Lines{"X", "A"}));
    EXPECT_EQ(run("m1:c"), ":label \":c\" not found\r!"); // the preamble ran, and then nothing was found
    EXPECT_EQ(inner(), (Lines{"X"}));
}

TEST_F(Engine, AbsentLabelInAMacroWithoutPreamble) {
    macro(1, "", {":a", "A"});
    load();
    EXPECT_EQ(run("m1:zz"), ":label \":zz\" not found\r:no macro commands processed\r!");
    EXPECT_EQ(run("m1:1x"), ":label cannot begin with a digit\r!");
    EXPECT_EQ(inner(), Lines{});
}

TEST_F(Engine, DefaultSections) {
    macro(1, "", {":a", "A", ":default", "D", ":b", "B"});
    macro(2, "", {":default", "D", ":b", "B"});
    load();
    EXPECT_EQ(run("m1:b"), "+"); // met while searching, :default starts the section
    EXPECT_EQ(inner(), (Lines{"D"}));
    EXPECT_EQ(run("m1:a"), "+");
    EXPECT_EQ(inner(), (Lines{"A"}));
    EXPECT_EQ(run("m2:b"), "+"); // as the first label line it is compared only
    EXPECT_EQ(inner(), (Lines{"B"}));
    EXPECT_EQ(run("m2"), ":no macro commands processed\r!");
}

TEST_F(Engine, LabelLinesKeepTheirCommentsOut) {
    macro(1, "", {"  :a   // first", "A", ":b", ":c", "C"});
    load();
    EXPECT_EQ(run("m1:a"), "+");
    EXPECT_EQ(inner(), (Lines{"A"}));
    EXPECT_EQ(run("m1:b"), ":label \":b\" has no commands\r:no macro commands processed\r!");
}

TEST_F(Engine, NestingFailsAtTheFifthLevel) {
    macro(1, "", {"one", "m2"});
    macro(2, "", {"two", "m3"});
    macro(3, "", {"three", "m4"});
    macro(4, "", {"four", "m5"});
    macro(5, "", {"five"});
    load();
    EXPECT_EQ(run("m2"), "+"); // four levels
    EXPECT_EQ(inner(), (Lines{"two", "m3", "three", "m4", "four", "m5", "five"}));
    EXPECT_EQ(run("m1"), "!"); // the fifth fails silently, and every level above with it
    EXPECT_EQ(inner(), (Lines{"one", "m2", "two", "m3", "three", "m4", "four", "m5"}));
    EXPECT_EQ(macroDepth, 0);
    macroVerbose = 1;
    sent.clear();
    EXPECT_NE(run("m1").find(":maximum macro depth of 4 exceeded\r"), std::string::npos);
    EXPECT_EQ(macroDepth, 0);
}

TEST_F(Engine, AFailingLineStopsTheMacroAtOnce) {
    macro(1, "", {"a", "fail now", "b"});
    macro(2, "", {"a", "silent"});
    load();
    EXPECT_EQ(run("m1"), "!");
    EXPECT_EQ(inner(), (Lines{"a", "fail now"}));
    EXPECT_EQ(run("m2"), "3"); // the result of the last line is the macro's
}

TEST_F(Engine, RepeatLoopsUntilAbortEscapeOrAQueuedMacro) {
    macro(1, "", {"loop", ":repeat"});
    macro(2, "", {"queued"});
    macro(3, "", {"pre", ":x", "body", ":repeat"});
    load();
    standin::abortAfter = 7; // the abort check runs before every line
    EXPECT_EQ(run("m1"), ":aborting on *abt\r+");
    EXPECT_EQ(inner(), (Lines{"loop", "loop", "loop", "loop"}));
    resetEnv();
    load();
    standin::escapeAfter = 2; // the escape check runs at every ":repeat"
    EXPECT_EQ(run("m3:x"), ":aborting on Escape\r+");
    EXPECT_EQ(inner(), (Lines{"pre", "body", "pre", "body", "pre", "body"}));
    resetEnv();
    load();
    standin::onTouch = [](int n) {
        if (n == 4) scheduleMacro(2, "from touch");
    };
    EXPECT_EQ(run("m3:x"), "+");
    EXPECT_EQ(inner(), (Lines{"pre", "body", "pre", "body"}));
    EXPECT_EQ(pendingMacro(), 2);
    standin::ran.clear();
    processScheduledMacro();
    EXPECT_EQ(standin::ran, (Lines{"queued"}));
    EXPECT_EQ(pendingMacro(), 0);
}

TEST_F(Engine, ArgumentsAndLabelsOfTheMCommand) {
    macro(5, "", {"args [`0`] [`1`] [`2`] [`3`]", ":top", "top [`0`] [`1`]"});
    load();
    EXPECT_EQ(run("m5 a \"b c\" d"), "+");
    EXPECT_EQ(inner(), (Lines{"args [a] [b c] [d] []"}));
    EXPECT_EQ(run("m5:top 1 2"), "+");
    EXPECT_EQ(inner(), (Lines{"args [1] [2] [] []", "top [1] [2]"}));
    EXPECT_EQ(run("m5 :top"), "+"); // after a blank it is the first argument
    EXPECT_EQ(inner(), (Lines{"args [:top] [] [] []"}));
    EXPECT_EQ(run("m5\t x\ty"), "+");
    EXPECT_EQ(inner(), (Lines{"args [x] [y] [] []"}));
    EXPECT_EQ(run("m 5:top \"q \\\" r\""), "+");
    EXPECT_EQ(inner(), (Lines{"args [q \\\" r] [] [] []", "top [q \\\" r] []"}));
}

TEST_F(Engine, TheTenthArgumentRunsToTheEnd) {
    macro(1, "", {"[`8`][`9`]"});
    load();
    EXPECT_EQ(run("m1 a b c d e f g h i j k  l"), "+");
    EXPECT_EQ(inner(), (Lines{"[i][j k  l]"}));
}

TEST_F(Engine, MacrosByName) {
    macro(1, "hello", {"H `0`"});
    macro(2, "_two", {"T"});
    load();
    EXPECT_EQ(run("m hello world"), "+");
    EXPECT_EQ(inner(), (Lines{"H world"}));
    EXPECT_EQ(run("m _two"), "+");
    EXPECT_EQ(run("m Hello"), ":Macro name not found\r!");
    EXPECT_EQ(run("m 9x"), ":macro index 9 not valid\r!");
    EXPECT_EQ(run("m #x"), ":Macro name has improper form\r!");
    EXPECT_EQ(run("m /"), ":macro index 0 not valid\r!");
    EXPECT_EQ(run("m7"), ":macro index 7 not valid\r!");
}

TEST_F(Engine, NameLookupsWithoutMacros) {
    EXPECT_EQ(run("m hello"), ":Macro external memory record not found\r!");
    img.records.resize(1);
    load();
    EXPECT_EQ(run("m hello"), ":No macros loaded\r!");
    macro(1, "hello", {"x"});
    load();
    // Without its name table the image still runs macros by number.
    uint8_t *meta = (uint8_t *)QV_ExtPtr(QV_GetExtRecord(0)->addr + 8, 2);
    ASSERT_NE(meta, nullptr);
    meta[0] = 0;
    EXPECT_EQ(run("m hello"), ":Macro meta table not loaded\r:Macro call-by-name not supported\r!");
    EXPECT_EQ(run("m1"), "+");
}

TEST_F(Engine, BinaryCall) {
    macro(3, "", {"bin"});
    load();
    char line[4] = {(char)0x82, 'M', 3, 0};
    standin::ran.clear();
    EXPECT_EQ(cmd_m(line), 1);
    EXPECT_EQ(standin::ran, (Lines{"bin"}));
}

TEST_F(Engine, VerboseEcho) {
    macro(1, "outer", {"a", "m2"});
    macro(2, "", {"b"});
    load();
    EXPECT_EQ(run("*macdebug 1"), "on\r+");
    EXPECT_EQ(run("m1"), "1 (outer): a\r1 (outer): m2\r 2: b\r+");
    EXPECT_EQ(run("*macdebug 0"), "off\r+");
    EXPECT_EQ(run("m1"), "+");
}

TEST_F(Engine, TheQueueHoldsOneRequest) {
    macro(1, "", {"one `0`"});
    macro(2, "", {"two `0`"});
    load();
    scheduleMacro(1, "x");
    scheduleMacro(2, "y");
    EXPECT_EQ(pendingMacro(), 2);
    processScheduledMacro();
    EXPECT_EQ(standin::ran, (Lines{"two y"}));
    standin::ran.clear();
    scheduleMacro(1 + 0x200, "ignored"); // keeps the arguments already queued
    EXPECT_EQ(pendingMacro(), 1);
    processScheduledMacro();
    EXPECT_EQ(standin::ran, (Lines{"one y"}));
    scheduleMacro(0, "");
    scheduleMacro(0x200, ""); // no macro: nothing is queued, so nothing is held back
    EXPECT_EQ(macroQueued, 0u);
    // While something is queued a macro call runs nothing.
    scheduleMacro(2, "");
    EXPECT_EQ(run("m1"), ":no macro commands processed\r!");
    // The queued label goes with the request.
    strcpy(macroQueuedLabel, ":lab");
    standin::ran.clear();
    sent.clear();
    processScheduledMacro();
    EXPECT_EQ(standin::ran, (Lines{"two "}));
    EXPECT_EQ(sent, ":label \":lab\" not found\r");
}

TEST_F(Engine, Listing) {
    macro(1, "first", {"t \"x\" 1 1", ":lab"});
    macro(3, "", {"z"});
    load();
    EXPECT_EQ(run("lsmac"), "Macro Definitions\r  #1: first\r    't \"x\" 1 1'\r    ':lab'\r  #2:\r  #3:\r"
                            "    'z'\r\rButton -> macro (args):\r+");
    EXPECT_EQ(run("lsmac 3"), "Macro Definition\r  #3:\r    'z'\r+");
    EXPECT_EQ(run("lsmac 4"), ":index outside valid range\r!");
    resetEnv();
    EXPECT_EQ(run("lsmac"), ":External Memory not valid\r!");
}

TEST_F(Engine, PowerOnAndDemoMacros) {
    macro(1, "", {"a"});
    macro(2, "splash", {"b"});
    load();
    eepromData[CFG_PONMAC] = 0;
    EXPECT_EQ(run("*PONMAC"), "0\r+");
    EXPECT_EQ(run("*PONMAC splash"), "+");
    EXPECT_EQ(eepromData[CFG_PONMAC], 2);
    EXPECT_EQ(testboard::eeprom()[(size_t)EE_COPY_A + CFG_PONMAC], 2); // saved
    EXPECT_EQ(run("*PONMAC 1 1"), "1\r+");
    EXPECT_EQ(eepromData[CFG_PONMAC_QUIET], CFG_ENABLED);
    EXPECT_EQ(run("*PONMAC 9"), "!");
    EXPECT_EQ(run("*PONMAC nothere"), ":Macro name not found\r!");
    EXPECT_EQ(eepromData[CFG_PONMAC], 1);
    EXPECT_EQ(run("*PONMAC 255"), "+");
    EXPECT_EQ(eepromData[CFG_PONMAC], 0);
    EXPECT_EQ(eepromData[CFG_PONMAC_QUIET], CFG_UNSET);
    EXPECT_EQ(run("*DEMOMAC splash"), "+");
    EXPECT_EQ(run("*DEMOMAC"), "2\r+");
    EXPECT_EQ(run("*DEMOMAC 7"), "!");
    EXPECT_EQ(run("*macnote"), "off\r+");
    EXPECT_EQ(run("*macnote 3"), "both\r+");
    EXPECT_EQ(run("*macnote 2"), "end\r+");
    EXPECT_EQ(run("*macnote 9"), "off\r+");
    EXPECT_EQ(macroNotify, 9);
}

TEST_F(Engine, BuiltInTableWhileEnabled) {
    QV_EnableInternalMacros(builtinMacros, builtinMacroCount);
    EXPECT_EQ(run("m2 3 10 20 OK"), "+");
    EXPECT_EQ(inner(), (Lines{"bd 3 10 20 1 \"OK\" 5 5"}));
    EXPECT_EQ(run("m3"), ":macro index 3 not valid\r!");
    QV_DisableInternalMacros();
    EXPECT_EQ(run("m2"), ":macro index 2 not valid\r!");
}

TEST_F(Engine, AMacroWhoseTextRunsPastTheImageIsNotValid) {
    macro(1, "", {"a"});
    load();
    const ExtHeader *h = QV_ExtHeader();
    ASSERT_NE(h, nullptr);
    // Make the last byte of the image (the terminator of the last line) a letter.
    uint8_t *end = (uint8_t *)h + h->size - 1;
    *end = 'x';
    EXPECT_EQ(run("m1"), ":macro index 1 not valid\r!");
}

} // namespace
