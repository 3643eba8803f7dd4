// Commands of the link's RS485 mode ("*rs485", the poll "Q") and of the communication watchdog
// ("*comwdt"), which names its macro by number or name.
#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "app/commands.h"
#include "base/parse.h"
#include "macro/macro.h"
#include "serial/rs485.h"
#include "serial/serial.h"
#include "settings/settings.h"

int cmd_Q(char *) {
    if (anythingToTx()) txSavedBuf();
    return CMD_OK;
}

int cmd_sys_rs485(char *line) {
    char reply[48];
    if (strncmp(line, "*rs485 off", 10) == 0) {
        rs485Disable(reply, sizeof reply);
        txString(reply);
        eepromData[CFG_RS485_MODE] = CFG_UNSET;
        eepromData[CFG_RS485_ADDR] = CFG_UNSET;
        QV_EEPROM_Save();
        Init_485mode();
        return CMD_OK;
    }
    char sof, high, low;
    if (sscanf(line, "*rs485 %c%c%c", &sof, &high, &low) != 3) return CMD_FAIL;
    if (!rs485Enable(sof, high, low, reply, sizeof reply)) return CMD_FAIL;
    // The answer leaves in the mode and on the port the host used to ask.
    txString(reply);
    txWait();
    eepromData[CFG_RS485_MODE] = CFG_MODE_ON;
    eepromData[CFG_MAIN_PORT] = 1;
    Init_485mode();
    QV_EEPROM_Save();
    return CMD_OK;
}

int cmd_sys_comwdt(char *line) {
    if (strncmp(line, "*comwdt off", 11) == 0) {
        disableCommWatchDog();
        return CMD_OK;
    }
    char *p = line + 7;
    while (*p == ' ' || *p == '\t') p++;
    char *name = p;
    while (*p && !isspace((unsigned char)*p)) p++;
    if (*p) *p++ = 0;
    int k = 0;
    if (isdigit((unsigned char)name[0])) {
        if (sscanf(name, "%d", &k) != 1 || !QV_GetMacro(k, nullptr)) {
            txString("bad macro index number\r");
            return CMD_FAIL;
        }
    } else if (!*name || !convertStringtoIndexMacro(name, &k) || !QV_GetMacro(k, nullptr)) {
        txString("bad macro name\r");
        return CMD_FAIL;
    }
    int shortSecs = 0, longSecs = 0;
    int n = sscanf(p, "%d %d", &shortSecs, &longSecs);
    if (n < 1 || shortSecs <= 0 || (n == 2 && longSecs <= shortSecs)) {
        txString("bad or missing timeout arg(s)\r");
        return CMD_FAIL;
    }
    setupCommWatchDog((uint32_t)k, (uint32_t)shortSecs, n == 2 ? (uint32_t)longSecs : 0);
    return CMD_OK;
}
