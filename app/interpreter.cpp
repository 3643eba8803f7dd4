// parse_command: the first catalogue row whose test accepts the line runs it.
#include <string.h>

#include "app/catalogue.h"
#include "app/commands.h"
#include "base/parse.h"

int parse_command(char *line) {
    uint16_t i = catalogueFind(line, 0);
    while (i < commandCatalogueSize) {
        int result = commandCatalogue[i].handler(line);
        if (result != CMD_CONTINUE) return result;
        // Handlers that decline their line ("d" with an unknown word, "tm" without one, "xm", "r",
        // "tr", "typematic") go on testing from the arc row on.
        uint16_t resume = catalogueResumeRow > i ? catalogueResumeRow : (uint16_t)(i + 1);
        i = catalogueFind(line, resume);
    }
    return CMD_FAIL;
}
