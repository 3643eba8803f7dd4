// parse_command: the first catalogue row whose test accepts the line runs it.
#include <string.h>

#include "app/catalogue.h"
#include "app/commands.h"
#include "base/parse.h"

// The row at which handlers that decline their line ("d" with an unknown word, "tm" without one,
// "xm", "r", "tr", "typematic") resume the chain.
static uint16_t resumeRow(void) {
    for (uint16_t i = 0; i < commandCatalogueSize; i++)
        if (commandCatalogue[i].handler == cmd_a) return i;
    return commandCatalogueSize;
}

int parse_command(char *line) {
    const unsigned char first = (unsigned char)line[0];
    uint16_t i = 0;
    while (i < commandCatalogueSize) {
        const CatalogueRow &row = commandCatalogue[i];
        // Every test compares the first byte before anything else, so a row whose keyword starts
        // with another byte cannot match; skipping it leaves the winner unchanged. Binary lines
        // (lead byte 0x81 or above) only meet the macro-call row, through its own test.
        bool candidate =
            first >= 0x81 ? row.test == TEST_SPECIAL && first == 0x82 : (unsigned char)row.key[0] == first;
        if (candidate && catalogueRowMatches(row, line)) {
            int result = row.handler(line);
            if (result != CMD_CONTINUE) return result;
            uint16_t resume = resumeRow();
            i = resume > i ? resume : (uint16_t)(i + 1);
            continue;
        }
        i++;
    }
    return CMD_FAIL;
}
