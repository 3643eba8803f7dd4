// The EEPROM commands: the user area's bytes, the block's dump, clearing and saving, and the
// configuration name.
#include <stdio.h>
#include <string.h>

#include "base/console.h"
#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "settings/settings.h"

static uint16_t userAddress(unsigned a) {
    return (uint16_t)(EE_USER_AREA + (a & 0xFF));
}

// "*eer %x", "*eerc %x": read a user byte.
int cmd_sys_eer(char *line) {
    const char *p = line + 4;
    bool compact = *p == 'c';
    if (compact) p++;
    unsigned a;
    if (sscanf(p, "%x", &a) != 1) return CMD_FAIL;
    uint8_t value = EEpromRead(userAddress(a));
    if (compact)
        snprintf(out_buffer, sizeof out_buffer, "%02X\r", value);
    else
        snprintf(out_buffer, sizeof out_buffer, "%02X = %02X\r", a & 0xFF, value);
    txString(out_buffer);
    return CMD_OK;
}

// "*eew %x %x", "*eewc %x %x": write a user byte when it differs, then read it back.
int cmd_sys_eew(char *line) {
    const char *p = line + 4;
    bool quiet = *p == 'c';
    if (quiet) p++;
    unsigned a, v;
    if (sscanf(p, "%x %x", &a, &v) != 2) return CMD_FAIL;
    uint16_t address = userAddress(a);
    if (EEpromRead(address) != (uint8_t)v) EEpromWrite(address, (uint8_t)v);
    uint8_t back = EEpromRead(address);
    if (!quiet) {
        snprintf(out_buffer, sizeof out_buffer, "%02X = %02X\r", a & 0xFF, back);
        txString(out_buffer);
    }
    return CMD_OK;
}

// "*eed": copy A as 22 lines of eight bytes, in hexadecimal and as characters.
int cmd_sys_eed(char *) {
    for (uint32_t row = 0; row < CONFIG_BLOCK_SIZE; row += 8) {
        uint8_t b[8];
        for (uint32_t k = 0; k < 8; k++) b[k] = EEpromRead((uint16_t)(EE_COPY_A + row + k));
        int n = snprintf(out_buffer, sizeof out_buffer, "%02X:", (unsigned)row);
        for (uint32_t k = 0; k < 8; k++)
            n += snprintf(out_buffer + n, sizeof out_buffer - (size_t)n, " %02X", b[k]);
        out_buffer[n++] = ' ';
        for (uint32_t k = 0; k < 8; k++) out_buffer[n++] = (b[k] >= 0x21 && b[k] <= 0x79) ? (char)b[k] : '.';
        out_buffer[n++] = '\r';
        out_buffer[n] = 0;
        txString(out_buffer);
    }
    return CMD_OK;
}

// "*eec [n]": clear area n, or both copies of the block.
int cmd_sys_eec(char *line) {
    int which;
    if (sscanf(line, "%*s%d", &which) == 1) {
        QV_EEPROM_Clear(which);
    } else {
        QV_EEPROM_Clear(1);
        QV_EEPROM_Clear(2);
    }
    return CMD_OK;
}

int cmd_sys_ees(char *) {
    return QV_EEPROM_Save();
}

// "*config \"name\"" sets the configuration name; "*config" replies it.
int cmd_sys_config(char *line) {
    if (strncmp(line, "*config \"", 9) == 0) {
        char *rest;
        int length;
        char *text = escstrl(line, '"', &rest, &length);
        if (!text) return CMD_FAIL;
        if (length > (int)CFG_CONFIG_NAME_SIZE - 1) length = CFG_CONFIG_NAME_SIZE - 1;
        memset(&eepromData[CFG_CONFIG_NAME], 0, CFG_CONFIG_NAME_SIZE);
        memcpy(&eepromData[CFG_CONFIG_NAME], text, (size_t)length);
        return QV_EEPROM_Save();
    }
    char name[CFG_CONFIG_NAME_SIZE];
    configName(name);
    if (!name[0])
        txString("(not set)\r");
    else {
        snprintf(out_buffer, sizeof out_buffer, "%s\r", name);
        txString(out_buffer);
    }
    return CMD_OK;
}
