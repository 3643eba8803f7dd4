// System commands: version, the receive side's substitute lines, the ring reset, timing aid, and
// the commands kept only so that older hosts have something to call.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/commands.h"
#include "app/parse.h"
#include "app/version.h"
#include "board/services/timer.h"
#include "serial/serial.h"

int cmd_vers(char *) {
    char text[LINE_MAX + 2];
    size_t n = QV_Copy_Version(text);
    text[n] = '\r';
    text[n + 1] = 0;
    txString(text);
    return CMD_OK;
}

int cmd_sys_SERR(char *) { return CMD_FAIL; }
int cmd_sys_IERR(char *) { return CMD_IERR; }

int cmd_sys_rst(char *) {
    rxReset();
    return CMD_OK;
}

int cmd_comment(char *) { return CMD_OK; }
int cmd_sb(char *) { return CMD_OK; }
int cmd_su(char *) { return CMD_OK; }
int cmd_SB(char *) { return CMD_OK; }
int cmd_SU(char *) { return CMD_OK; }
int cmd_sys_debugTouch(char *) { return CMD_OK; }

int cmd_sys_ctype(char *) {
    txString("0\r");
    return CMD_OK;
}

// "*speedtest N <command>": runs the command N times and reports the mean time. The command is
// copied afresh for each run because the interpreter works on its line in place.
int cmd_sys_speedtest(char *line) {
    int count;
    if (sscanf(line, "*speedtest %d", &count) != 1 || count < 1) return CMD_FAIL;
    char *open = strchr(line, '<');
    char *close = open ? strchr(open + 1, '>') : nullptr;
    if (!close) return CMD_FAIL;
    char command[LINE_MAX + 1];
    size_t len = (size_t)(close - open - 1);
    if (len > LINE_MAX) len = LINE_MAX;
    uint32_t start = QV_TimerGetMsCount();
    for (int i = 0; i < count; i++) {
        memcpy(command, open + 1, len);
        command[len] = 0;
        parse_command(command);
    }
    uint32_t elapsed = QV_TimerGetMsCount() - start;
    snprintf(out_buffer, sizeof out_buffer, ":time/command = %d ms\r", (int)(elapsed / (uint32_t)count));
    txString(out_buffer);
    return CMD_OK;
}
