// Commands of the serial link: baud rates, port roles, the aux port, binary lines and responses,
// and raw output.
#include "base/parse.h"
#include "serial/rs485.h"
#include "serial/serial.h"
#include "serial/serial_local.h"
#include "settings/settings.h"

#include <ctype.h>
#include <inttypes.h>
#include <stdio.h>

// The " %lu" of the rate argument as a 32-bit board reads it: blanks, an optional sign, digits;
// too large saturates. False when there are no digits.
static bool parseRate(const char *p, uint32_t *rate) {
    while (isspace((unsigned char)*p)) p++;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    if (!isdigit((unsigned char)*p)) return false;
    uint32_t v = 0;
    bool saturated = false;
    for (; isdigit((unsigned char)*p); p++) {
        uint32_t d = (uint32_t)(*p - '0');
        if (v > (UINT32_MAX - d) / 10) saturated = true;
        if (!saturated) v = v * 10 + d;
    }
    if (saturated)
        v = UINT32_MAX;
    else if (negative)
        v = 0u - v;
    *rate = v;
    return true;
}

// "baud", "baudp", "bauds": the character after the keyword picks the port ('0', '1', else the
// main port), then an optional rate.
int cmdBaud(char *line) {
    char kind = line[4]; // 'p', 's' or anything else for plain "baud"
    int keyword = (kind == 'p' || kind == 's') ? 5 : 4;
    const char *p = line + keyword;
    int port = mainPort();
    uint32_t rate = 0;
    bool haveRate = false;
    if (*p) {
        if (*p == '0')
            port = 0;
        else if (*p == '1')
            port = 1;
        haveRate = parseRate(p + 1, &rate);
    }
    if (!haveRate) {
        char reply[16];
        snprintf(reply, sizeof reply, "%" PRIu32 "\r", QV_COM_getBaud(port));
        txString(reply);
        return CMD_OK;
    }
    if (QV_EEPROM_Rate2eeVal(rate) == 0xFF) {
        if (kind == 's') {
            char msg[64];
            snprintf(msg, sizeof msg, ":baud rate %ld not supported, not saved\r", (long)(int32_t)rate);
            txString(msg);
        }
        return CMD_FAIL;
    }
    if (kind != 'p' && kind != 's') {
        // The prompt that follows goes out at the new rate; what was sent before leaves first.
        txWait();
        serialSetRate(port, rate);
        return CMD_OK;
    }
    if (kind == 's' && !QV_save_baudrate_eeprom(port, rate)) return CMD_FAIL;
    txString(">\r");
    txWait();
    serialSetRate(port, rate);
    return CMD_SILENT;
}

static int comMain(char *line, uint8_t toUart0) {
    serialRolesSettled();
    if (toUart0)
        makeUart0Main();
    else
        makeUart1Main();
    eepromData[CFG_MAIN_PORT] = toUart0 ? 0 : 1;
    if (line[9] != 's') QV_EEPROM_Save();
    return CMD_OK;
}

int cmdCom0Main(char *line) {
    return comMain(line, 1);
}
int cmdCom1Main(char *line) {
    return comMain(line, 0);
}

int cmdPrevCons(char *) {
    serialRolesSettled();
    if (prevMain == 1) {
        if (eepromData[CFG_RS485_ADDR] != CFG_UNSET) {
            eepromData[CFG_RS485_MODE] = CFG_MODE_ON;
            Init_485mode();
        } else {
            makeUart1Main();
        }
    } else {
        makeUart0Main();
    }
    return CMD_SILENT;
}

int cmdAuxEsc(char *line) {
    unsigned int value;
    if (sscanf(line, "*auxEsc %x", &value) == 1) {
        eepromData[CFG_AUX_ESC] = (uint8_t)(value & 0x7F);
        QV_EEPROM_Save();
    }
    char reply[16];
    snprintf(reply, sizeof reply, "0x%02x\r", (unsigned)eepromData[CFG_AUX_ESC]);
    txString(reply);
    return CMD_OK;
}

int cmdAuxIO(char *line) {
    int value;
    if (sscanf(line, "auxIO %d", &value) != 1) {
        txString(eepromData[CFG_AUX_FORWARD] == CFG_MODE_ON ? "1\r" : "0\r");
        return CMD_OK;
    }
    if (value == 0) {
        eepromData[CFG_AUX_FORWARD] = CFG_UNSET;
    } else {
        aFlushRx();
        eepromData[CFG_AUX_FORWARD] = CFG_MODE_ON;
    }
    QV_EEPROM_Save();
    return CMD_OK;
}

int cmdAin(char *line) {
    const char *p = line + 3;
    if (*p == ' ') p++;
    if (*p == 'b') {
        uint8_t reply[1 + 128];
        int n = getAinBin(reply + 1, 128);
        reply[0] = (uint8_t)n;
        txBinary(reply, n + 1);
        return CMD_OK;
    }
    // ':' and the bytes must fit one message; what does not fit stays for the next "ain".
    char reply[1 + 128 + 1];
    int room = (rs485Active() ? TX_MAX - 3 : TX_MAX) - 1;
    reply[0] = ':';
    getAuxRx(reply + 1, room + 1);
    txString(reply);
    return CMD_OK;
}

int cmdBMOFF(char *) {
    binaryEnable = 0;
    binaryDisable = 1;
    return CMD_OK;
}

int cmdBinr(char *line) {
    int value;
    if (sscanf(line, "*binr %d", &value) != 1) return CMD_FAIL;
    binaryResponses = value == 1 ? 1 : 0;
    txString(binaryResponses ? "on\r" : "off\r");
    return CMD_OK;
}

// The text between the first two double quotes, exactly as typed; null without a quote.
static char *literalText(char *line) {
    char *rest = nullptr;
    strtokr(line, '"', &rest);
    if (!rest) return nullptr;
    char *after = nullptr;
    char *text = strtokr(rest, '"', &after);
    return text ? text : rest;
}

int cmdOut(char *line) {
    if (line[3] == 's') {
        char *text = literalText(line);
        if (!text) return CMD_FAIL;
        txNotify(text);
        return CMD_SILENT;
    }
    if (line[3] != ' ' || line[4] != '"') {
        txString(":missing single space and/or double quote\r");
        return CMD_FAIL;
    }
    char *rest = nullptr;
    int length = 0;
    char *text = escstrl(line + 3, '"', &rest, &length);
    if (!text) return CMD_FAIL;
    if (rs485Active())
        txNotify(text);
    else
        txBinary((const uint8_t *)text, length);
    return CMD_OK;
}

int cmdAout(char *line) {
    if (line[4] == 's') {
        char *text = literalText(line);
        if (!text) return CMD_FAIL;
        aTxString(text);
        return CMD_OK;
    }
    char *rest = nullptr;
    int length = 0;
    char *text = escstrl(line + 4, '"', &rest, &length);
    if (!text) return CMD_FAIL;
    aTxBinary((const uint8_t *)text, length);
    return CMD_OK;
}
