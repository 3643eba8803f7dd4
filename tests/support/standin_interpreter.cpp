// The interpreter, for programs without the catalogue: it records every line and hands the macro
// and register commands to their handlers.
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include "app/commands.h"
#include "macro/macro.h"
#include "tests/support/standins.h"

namespace standin {
std::vector<std::string> ran;
} // namespace standin

int parse_command(char *line) {
    standin::ran.push_back(line);
    const unsigned char c0 = (unsigned char)line[0];
    if (!strncmp(line, "mpush", 5)) return cmd_mpush(line);
    if (!strncmp(line, "mpop", 4)) return cmd_mpop(line);
    if (c0 == 0x82 || (line[0] == 'm' && (isdigit((unsigned char)line[1]) ||
                                          isspace((unsigned char)line[1]) || line[1] == '-')))
        return cmd_m(line);
    if (!strncmp(line, "set", 3)) return cmd_set(line);
    if (!strncmp(line, "get", 3)) return cmd_get(line);
    if (!strncmp(line, "lsmac", 5)) return macroListing(line);
    if (!strncmp(line, "*PONMAC", 7)) return cmd_sys_PONMAC(line);
    if (!strncmp(line, "*DEMOMAC", 8)) return cmd_sys_DEMOMAC(line);
    if (!strncmp(line, "*macnote", 8)) return cmd_sys_macnote(line);
    if (!strncmp(line, "*macdebug", 9)) return cmd_sys_macdebug(line);
    if (!strncmp(line, "fail", 4)) return 0;
    if (!strncmp(line, "silent", 6)) return 3;
    if (!strncmp(line, "queue ", 6)) {
        scheduleMacro(atoi(line + 6), "");
        return 1;
    }
    return 1;
}
