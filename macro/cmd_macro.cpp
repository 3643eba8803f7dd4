// The macro commands: "m" in its forms, "*macdebug", "*macnote", "*PONMAC", "*DEMOMAC" and the
// "lsmac" listing.
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/parse.h"
#include "macro/macro.h"
#include "resource/resource.h"
#include "serial/serial.h"
#include "settings/settings.h"

// Sends a text longer than the transmit buffer in pieces it can take.
static void notifyLong(const char *text) {
    char piece[TX_MAX];
    size_t len = strlen(text);
    for (size_t at = 0; at < len; at += sizeof piece - 1) {
        strncpy(piece, text + at, sizeof piece - 1);
        piece[sizeof piece - 1] = 0;
        txNotify(piece);
    }
}

static void replyNumber(int value) {
    snprintf(out_buffer, sizeof out_buffer, "%d\r", value);
    txNotify(out_buffer);
}

static int clampToInt(long v) {
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : (int)v;
}

// "m5", "m5:label args", "m name", "m name:label args", and the binary call 0x82 'M' n.
int cmd_m(char *line) {
    const unsigned char *u = (const unsigned char *)line;
    if (u[0] == 0x82) return processMacro(u[2], "", nullptr);

    // A private copy with room for the one-byte move of formatMacroNameString.
    char buf[LINE_MAX + 3];
    strncpy(buf, line, LINE_MAX + 1);
    buf[LINE_MAX + 1] = 0;
    int k;
    char *rest;
    bool labelled;
    if (!isspace((unsigned char)buf[1])) { // number form
        char *end;
        long v = strtol(buf + 1, &end, 10);
        if (end == buf + 1) return CMD_FAIL;
        k = clampToInt(v);
        rest = end;
        labelled = *rest == ':';
    } else { // name form
        char *name = buf + 1;
        labelled = formatMacroNameString(&name, &rest) == 1;
        if (!convertStringtoIndexMacro(name, &k)) return CMD_FAIL;
    }
    char label[MACRO_LABEL_MAX + 1] = "";
    if (labelled) {
        int n = 0;
        while (*rest && !isspace((unsigned char)*rest)) {
            if (n < MACRO_LABEL_MAX) label[n++] = *rest;
            rest++;
        }
        label[n] = 0;
    }
    while (isspace((unsigned char)*rest)) rest++;
    return processMacro(k, rest, label);
}

int cmd_sys_macdebug(char *line) {
    int v;
    if (sscanf(line, "*macdebug %d", &v) != 1) return CMD_FAIL;
    macroVerbose = v;
    txNotify(v ? "on\r" : "off\r");
    return CMD_OK;
}

int cmd_sys_macnote(char *line) {
    int v;
    if (sscanf(line, "*macnote %d", &v) == 1) macroNotify = (uint8_t)v;
    static const char *const modes[] = {"off\r", "start\r", "end\r", "both\r"};
    // A stored value above 3 sends no notices, so it reads as off.
    txNotify(macroNotify <= 3 ? modes[macroNotify] : "off\r");
    return CMD_OK;
}

int cmd_sys_PONMAC(char *line) {
    char name[64];
    int flag = 0;
    int n = sscanf(line, "*PONMAC %63s %d", name, &flag);
    if (n < 1) {
        replyNumber(eepromData[CFG_PONMAC]);
        return CMD_OK;
    }
    int k;
    if (!convertStringtoIndexMacro(name, &k)) return CMD_FAIL;
    if (k == 0 || k == 255) {
        eepromData[CFG_PONMAC] = 0;
        eepromData[CFG_PONMAC_QUIET] = CFG_UNSET;
    } else {
        if (!QV_GetMacro(k, nullptr)) return CMD_FAIL;
        eepromData[CFG_PONMAC] = (uint8_t)k;
    }
    if (n == 2) {
        if (flag == 1) eepromData[CFG_PONMAC_QUIET] = CFG_ENABLED;
        replyNumber(eepromData[CFG_PONMAC]);
    }
    QV_EEPROM_Save();
    return CMD_OK;
}

int cmd_sys_DEMOMAC(char *line) {
    char name[64];
    if (sscanf(line, "*DEMOMAC %63s", name) != 1) {
        replyNumber(eepromData[CFG_DEMOMAC]);
        return CMD_OK;
    }
    int k;
    if (!convertStringtoIndexMacro(name, &k)) return CMD_FAIL;
    if (k == 0 || k == 255) {
        eepromData[CFG_DEMOMAC] = 0;
    } else {
        if (!QV_GetMacro(k, nullptr)) return CMD_FAIL;
        eepromData[CFG_DEMOMAC] = (uint8_t)k;
    }
    QV_EEPROM_Save();
    return CMD_OK;
}

static void listMacro(int k) {
    const char *name = QV_ExtMacroName(k);
    if (name && name[0]) {
        char head[32 + 130];
        snprintf(head, sizeof head, "  #%d: %s\r", k, name);
        notifyLong(head);
    } else {
        snprintf(out_buffer, sizeof out_buffer, "  #%d:\r", k);
        txNotify(out_buffer);
    }
    const ExtMacroEntry *e = QV_GetExtMacro(k);
    const char *end;
    const char *p = QV_ExtMacroText(e, &end);
    for (int i = 0; p && i < e->lines; i++) {
        char text[8 + 256];
        snprintf(text, sizeof text, "    '%.255s'\r", p);
        notifyLong(text);
        p += strlen(p) + 1;
    }
}

int macroListing(char *line) {
    if (!QV_ExtHeader()) {
        txNotify(":External Memory not valid\r");
        return CMD_FAIL;
    }
    const int n = QV_ExtMacroCount();
    int k;
    if (sscanf(line, "lsmac %d", &k) == 1) {
        if (k < 1 || k > n) {
            txNotify(":index outside valid range\r");
            return CMD_FAIL;
        }
        txNotify("Macro Definition\r");
        listMacro(k);
        return CMD_OK;
    }
    txNotify("Macro Definitions\r");
    for (k = 1; k <= n; k++) listMacro(k);
    txNotify("\rButton -> macro (args):\r");
    return CMD_OK;
}
