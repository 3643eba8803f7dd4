// The command catalogue: one ordered table of every keyword, its kind of test and its handler.
#pragma once

#include <stdint.h>

typedef int (*CommandHandler)(char *line);

enum CatalogueTest : uint8_t {
    TEST_EXACT,   // the whole line equals the keyword
    TEST_PREFIX,  // the first n characters equal the keyword
    TEST_CHARS,   // the first n bytes are compared (then an optional pattern)
    TEST_PATTERN, // sscanf with the pattern would convert between min and max values
    TEST_SPECIAL, // a test function of its own
};

struct CatalogueRow {
    const char *key; // keyword, or the sscanf pattern of a TEST_PATTERN row
    CatalogueTest test;
    uint8_t n;           // prefix / chars length; fewest converted values of a pattern
    uint8_t nmax;        // most converted values of a pattern
    const char *pattern; // TEST_CHARS rows that also scan the line; nullptr otherwise
    bool (*special)(const char *line);
    CommandHandler handler;
};

extern const CatalogueRow commandCatalogue[];
extern const uint16_t commandCatalogueSize;

// A handler may ask the interpreter to go on testing, from the arc row on, instead of failing.
enum { CMD_CONTINUE = -32768 };

// What sscanf(line, pattern, ...) returns for the catalogue's patterns (the values it would store,
// -1 when the line ends before the first), decided without the C library's scan.
int catalogueScanCount(const char *line, const char *pattern);
// The scan of the macro call's own test ("m" and a number).
extern const char macroCallPattern[];

// True when the row's test accepts the line.
bool catalogueRowMatches(const CatalogueRow &row, const char *line);

// The first row at or after `from` whose test accepts the line (commandCatalogueSize: none), as a
// walk over every row in table order finds it; only rows whose keyword's literal part agrees with
// the line's first characters are tested.
uint16_t catalogueFind(const char *line, uint16_t from);
// The row at which handlers that decline their line resume the walk (the arc row).
extern const uint16_t catalogueResumeRow;
