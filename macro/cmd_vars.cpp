// "set", "get", "mpush" and "mpop": the host's and the macros' access to the registers. Numbers are
// read as a 32-bit board reads them, so a PC build answers with the same bytes.
#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "macro/macro.h"
#include "macro/scan32.h"
#include "serial/serial.h"

namespace {

void skipSpace(const char *&p) {
    while (isspace((unsigned char)*p)) p++;
}

bool scanDec(const char *&p, int32_t &v) {
    return scanDec32(&p, &v);
}
bool scanHex(const char *&p, uint32_t &v) {
    return scanHex32(&p, &v);
}

// Past the keyword ("set", "setx", "getq", ...) and the white space behind it.
const char *registerPart(const char *line) {
    const char *p = line;
    while (*p && !isspace((unsigned char)*p)) p++;
    skipSpace(p);
    return p;
}

void reply(const char *format, ...) __attribute__((format(printf, 1, 2)));
void reply(const char *format, ...) {
    va_list ap;
    va_start(ap, format);
    vsnprintf(out_buffer, sizeof out_buffer, format, ap);
    va_end(ap);
    txNotify(out_buffer);
}

} // namespace

int cmd_set(char *line) {
    const char mode = line[3];
    if (mode != ' ' && mode != '\t' && mode != 'x') return CMD_FAIL;
    const bool hex = mode == 'x';
    const char *p = registerPart(line);
    const char kind = *p++;
    int32_t n;
    switch (kind) {
    case 'i': {
        if (!scanDec(p, n)) return CMD_FAIL;
        if (n < 0 || n >= MACRO_INT_REGS) {
            reply(":err - arg must be i0 thru i%d\r", MACRO_INT_REGS - 1);
            return CMD_FAIL;
        }
        int32_t v;
        uint32_t u;
        if (hex ? !scanHex(p, u) : !scanDec(p, v)) return CMD_FAIL;
        setMacro_iMem(n, hex ? (int32_t)u : v);
        return CMD_OK;
    }
    case 'e': {
        uint32_t index;
        if (!scanHex(p, index)) return CMD_FAIL;
        if (index > 0xF) {
            txNotify(":err - arg must be e0 thru eF\r");
            return CMD_FAIL;
        }
        uint32_t value;
        if (hex) {
            if (!scanHex(p, value)) return CMD_FAIL;
            if (value > 0xFF) {
                txNotify(":err - value must be 0x00 thru 0xFF\r");
                return CMD_FAIL;
            }
        } else {
            int32_t v;
            if (!scanDec(p, v)) return CMD_FAIL;
            if (v < 0 || v > 255) { // a negative number is no byte either
                txNotify(":err - value must be 0 thru 255\r");
                return CMD_FAIL;
            }
            value = (uint32_t)v;
        }
        const uint16_t address = (uint16_t)(EEPROM_USER_BASE + index);
        if (EEpromRead(address) != value) EEpromWrite(address, (uint8_t)value);
        return CMD_OK;
    }
    case 'p': {
        int32_t x, y;
        if (!scanDec(p, n)) return CMD_FAIL;
        if (n < 0 || n >= MACRO_POINTS) {
            txNotify(":err - arg must be p0 thru p9\r");
            return CMD_FAIL;
        }
        if (!scanDec(p, x) || !scanDec(p, y)) return CMD_FAIL;
        setMacro_pt(n, x, y);
        return CMD_OK;
    }
    case 's': {
        if (!isdigit((unsigned char)*p) || !scanDec(p, n)) return CMD_FAIL;
        if (n < 0 || n >= MACRO_STRINGS) {
            txNotify(":err - arg must be s0 thru s9\r");
            return CMD_FAIL;
        }
        if (*p == ' ' || *p == '\t') p++;
        if (!*p) {
            txNotify(":err - text argument missing\r");
            return CMD_FAIL;
        }
        char *text = const_cast<char *>(p);
        if (*text == '"') {
            char *rest;
            text = escstr(text, '"', &rest);
            if (!text) return CMD_FAIL;
        }
        setMacroString2(text, n);
        return CMD_OK;
    }
    default:
        return CMD_FAIL;
    }
}

int cmd_get(char *line) {
    const char mode = line[3];
    if (!mode || !strchr(" \tdxq", mode)) {
        txNotify(":err - syntax\r");
        return CMD_FAIL;
    }
    const char *p = registerPart(line);
    const char kind = *p++;
    if (mode == 'q' && kind != 's') {
        txNotify(":err - syntax\r");
        return CMD_FAIL;
    }
    const bool hex = mode == 'x';
    int32_t n;
    switch (kind) {
    case 'i':
        if (!scanDec(p, n)) return CMD_FAIL;
        if (n < 0 || n >= MACRO_INT_REGS) {
            reply(":err - arg must be i0 thru i%d\r", MACRO_INT_REGS - 1);
            return CMD_FAIL;
        }
        if (hex)
            reply("%X\r", (unsigned)(uint32_t)iMem[n]);
        else
            reply("%d\r", (int)iMem[n]);
        return CMD_OK;
    case 'e': {
        uint32_t index;
        if (!scanHex(p, index)) return CMD_FAIL;
        if (index > 0xF) {
            txNotify(":err - arg must be e0 thru eF\r");
            return CMD_FAIL;
        }
        const uint8_t v = EEpromRead((uint16_t)(EEPROM_USER_BASE + index));
        reply(hex ? "%X\r" : "%d\r", (unsigned)v);
        return CMD_OK;
    }
    case 'p':
        if (!scanDec(p, n)) return CMD_FAIL;
        if (n < 0 || n >= MACRO_POINTS) {
            txNotify(":err - arg must be p0 thru p9\r");
            return CMD_FAIL;
        }
        reply("%d %d\r", (int)pt[n].x, (int)pt[n].y);
        return CMD_OK;
    case 's':
        if (!scanDec(p, n)) return CMD_FAIL;
        if (n < 0 || n >= MACRO_STRINGS) {
            txNotify(":err - arg must be s0 thru s9\r");
            return CMD_FAIL;
        }
        reply(mode == 'q' ? "\"%s\"\r" : "%s\r", mString[n]);
        return CMD_OK;
    default:
        return CMD_FAIL;
    }
}

// "mpush [n] "text" [limit]": appends to string register n, or to the memory string.
int cmd_mpush(char *line) {
    const char *p = line + 5;
    int32_t n = -1;
    const char *q = p;
    skipSpace(q);
    if (*q != '"') {
        if (!scanDec(q, n) || n < 0 || n >= MACRO_STRINGS) return CMD_FAIL;
    }
    char *rest;
    char *text = escstr(const_cast<char *>(q), '"', &rest);
    if (!text) return CMD_FAIL;
    int32_t limit = 0;
    const char *r = rest;
    if (!scanDec(r, limit)) limit = 0;
    if (n >= 0)
        pushMacroString2(text, n, limit);
    else
        pushMacroString(text, limit);
    return CMD_OK;
}

// "mpop k [n]": removes k characters from string register n, or from the memory string.
int cmd_mpop(char *line) {
    const char *p = line + 4;
    int32_t k, n;
    if (!scanDec(p, k)) return CMD_FAIL;
    if (!scanDec(p, n)) {
        popMacroString(k);
        return CMD_OK;
    }
    if (n < 0 || n >= MACRO_STRINGS) return CMD_FAIL;
    popMacroString2(k, n);
    return CMD_OK;
}
