// System commands: version, the receive side's substitute lines, the ring reset, timing aid, and
// the commands kept only so that older hosts have something to call.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/commands.h"
#include "app/version.h"
#include "base/crc.h"
#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "board/services/timer.h"
#include "serial/rs485.h"
#include "serial/serial.h"
#include "settings/settings.h"
#include "touch/touch.h"

int cmd_vers(char *) {
    char text[LINE_MAX + 2];
    size_t n = QV_Copy_Version(text);
    text[n] = '\r';
    text[n + 1] = 0;
    txString(text);
    return CMD_OK;
}

int cmd_sys_SERR(char *) {
    return CMD_FAIL;
}
int cmd_sys_IERR(char *) {
    return CMD_IERR;
}

int cmd_sys_rst(char *) {
    rxReset();
    return CMD_OK;
}

int cmd_comment(char *) {
    return CMD_OK;
}
int cmd_sb(char *) {
    return CMD_OK;
}
int cmd_su(char *) {
    return CMD_OK;
}
int cmd_SB(char *) {
    return CMD_OK;
}
int cmd_SU(char *) {
    return CMD_OK;
}
int cmd_sys_debugTouch(char *) {
    return CMD_OK;
}

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

// ---- board and memory ----------------------------------------------------------------------------

// "temp": the reading in tenths as "%+05.1f" within -30.0..99.9, formatted without floating point
// so that the board needs no float printf.
int cmd_temp(char *) {
    int t = bsp_temperature_tenths();
    if (t < -300 || t > 999) {
        txString("*****");
        return CMD_OK;
    }
    int a = t < 0 ? -t : t;
    snprintf(out_buffer, sizeof out_buffer, "%c%02d.%d\r", t < 0 ? '-' : '+', a / 10, a % 10);
    txString(out_buffer);
    return CMD_OK;
}

// "w N": waits N ms while touches are served; an ESC from the host ends the wait early and stays
// in the ring for whoever reads next.
int cmd_w(char *line) {
    unsigned ms;
    if (sscanf(line, "w %u", &ms) != 1) return CMD_FAIL;
    gpTimer = ms;
    while (gpTimer) {
        handle_touch();
        if (hostSentEscape()) break;
        bsp_wait_for_interrupt();
    }
    return CMD_OK;
}

int cmd_xmpmax(char *) {
    snprintf(out_buffer, sizeof out_buffer, "%d\r", 128);
    txNotify(out_buffer);
    return CMD_OK;
}

// The reset waits for output still on its way (a prompt queued just before) so that the host never
// sees a reply cut short by the restart.
int cmd_sys_RESET(char *) {
    txWait();
    bsp_watchdog_reset();
}

int cmd_sys_MFGRESET(char *) {
    QV_EEPROM_Clear(1);
    QV_EEPROM_Clear(2);
    QV_EEPROM_Clear(0);
    txWait();
    bsp_watchdog_reset();
}

static int checksumReply(uint32_t addr, uint32_t len) {
    const uint8_t *p = (const uint8_t *)bsp_mem(addr, len);
    if (!p) return CMD_FAIL;
    snprintf(out_buffer, sizeof out_buffer, "0x%04X\r", CalcCRC(p, len));
    txString(out_buffer);
    return CMD_OK;
}

int cmd_sys_CSUM(char *) {
    return checksumReply(BSP_FIRMWARE_BASE, BSP_FIRMWARE_SIZE);
}
int cmd_sys_CSUMB(char *) {
    return checksumReply(BSP_PROGRAM_FLASH_BASE, BSP_BOOT_AREA_SIZE);
}

int cmd_sys_firmware(char *) {
    char id[9];
    for (int i = 0; i < 8; i++) {
        uint8_t c = eepromData[CFG_FIRMWARE_ID + i];
        id[i] = (c >= 0x20 && c <= 0x7E) ? (char)c : '?';
    }
    id[8] = 0;
    snprintf(out_buffer, sizeof out_buffer, "\"%s\"\r", id);
    txString(out_buffer);
    return CMD_OK;
}

// The register commands take an offset into the peripheral block. An offset outside the block is
// refused: on the PC there is nothing behind it, and a board would fault.
static bool registerOffset(uint32_t offset, uint32_t width) {
    if (offset < BSP_REGISTER_SIZE && offset + width <= BSP_REGISTER_SIZE) return true;
    txString(":register offset outside the register block\r");
    return false;
}

int cmd_sys_R16(char *line) {
    unsigned offset;
    if (sscanf(line, "*R16 %x", &offset) != 1 || !registerOffset(offset, 2)) return CMD_FAIL;
    uint32_t addr = BSP_REGISTER_BASE + offset;
    snprintf(out_buffer, sizeof out_buffer, "0x%08X = %04X\r", (unsigned)addr,
             (unsigned)bsp_reg_read16(addr));
    txString(out_buffer);
    return CMD_OK;
}

int cmd_sys_R(char *line) {
    unsigned first, last;
    int n = sscanf(line, "*R %x %x", &first, &last);
    if (n < 1) return CMD_FAIL;
    if (n == 1) last = first;
    if (!registerOffset(first, 4) || !registerOffset(last, 4)) return CMD_FAIL;
    for (uint32_t o = first; o <= last; o += 4) {
        uint32_t addr = BSP_REGISTER_BASE + o;
        snprintf(out_buffer, sizeof out_buffer, "Reg 0x%08x = %08x\r", (unsigned)addr,
                 (unsigned)bsp_reg_read32(addr));
        txString(out_buffer);
    }
    return CMD_OK;
}

int cmd_sys_W(char *line) {
    unsigned offset, value;
    if (sscanf(line, "*W %x %x", &offset, &value) != 2 || !registerOffset(offset, 4)) return CMD_FAIL;
    uint32_t addr = BSP_REGISTER_BASE + offset;
    bsp_reg_write32(addr, value);
    snprintf(out_buffer, sizeof out_buffer, "Reg 0x%08X <- %08X\r", (unsigned)addr,
             (unsigned)bsp_reg_read32(addr));
    txString(out_buffer);
    return CMD_OK;
}

// Memory the dump and test commands may touch: external RAM with the video RAM.
static const uint8_t *sdram(uint32_t addr, uint32_t len) {
    const uint8_t *p = len ? (const uint8_t *)bsp_mem(addr, len) : nullptr;
    if (!p && len) txString(":address range not in memory\r");
    return p;
}

int cmd_sys_dumpmb(char *line) {
    unsigned addr = BSP_EXTRAM_BASE, len = 16;
    if (sscanf(line, "*dumpmb %x %x", &addr, &len) != 2) {
        addr = BSP_EXTRAM_BASE;
        len = 16;
    }
    len &= ~15u;
    const uint8_t *p = sdram(addr, len);
    if (len && !p) return CMD_FAIL;
    for (uint32_t o = 0; o < len; o += 16) {
        int n = snprintf(out_buffer, sizeof out_buffer, "0x%02X: ", (unsigned)(addr + o));
        for (int i = 0; i < 16; i++)
            n += snprintf(out_buffer + n, sizeof out_buffer - (size_t)n, "%02X ", p[o + i]);
        snprintf(out_buffer + n, sizeof out_buffer - (size_t)n, "\r");
        txString(out_buffer);
    }
    return CMD_OK;
}

int cmd_sys_dumpml(char *line) {
    unsigned addr = BSP_EXTRAM_BASE, count = 16;
    if (sscanf(line, "*dumpml %x %x", &addr, &count) != 2) {
        addr = BSP_EXTRAM_BASE;
        count = 16;
    }
    count &= ~15u;
    const uint8_t *p = sdram(addr, count * 4);
    if (count && !p) return CMD_FAIL;
    for (uint32_t w = 0; w < count; w += 8) {
        int n = snprintf(out_buffer, sizeof out_buffer, "0x%08X: ", (unsigned)(addr + w * 4));
        for (int i = 0; i < 8; i++) {
            const uint8_t *b = p + (w + (uint32_t)i) * 4;
            uint32_t v = (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
            n += snprintf(out_buffer + n, sizeof out_buffer - (size_t)n, "%08X ", (unsigned)v);
        }
        snprintf(out_buffer + n, sizeof out_buffer - (size_t)n, "\r");
        txString(out_buffer);
    }
    return CMD_OK;
}

// ---- RAM test --------------------------------------------------------------------------------------

static void memTestUsage(void) {
    static const char *const lines[] = {
        "Usage:\r",
        "  *memTest - prints this message\r",
        "  *memTest <start_addr> <length> <reps>\r",
        "  *memTest <area> <reps> - select fixed area, defined below\r",
        "  (Use 0 for reps for continuous looping, hit <enter> to break out)\r",
        "  *dumpmb <start_addr> <length> - to display RAM as bytes\r",
        "  *dumpml <start_addr> <length> - to display RAM as longs\r",
        "    Testable areas (start - length):\r",
    };
    for (const char *l : lines) txString(l);
    static const struct {
        const char *format;
        uint32_t start, length;
    } areas[] = {
        {"     1- ExtMem:       0x%08lX - 0x%08lX\r", BSP_EXTRAM_BASE, BSP_EXTRAM_SIZE},
        {"     3- VideoRamBase: 0x%08lX - 0x%08lX\r", BSP_VIDEORAM_BASE, BSP_VIDEORAM_SIZE},
        {"     4- All testable: 0x%08lX - 0x%08lX\r", BSP_EXTRAM_BASE, BSP_SDRAM_END - BSP_EXTRAM_BASE},
    };
    for (auto &a : areas) {
        snprintf(out_buffer, sizeof out_buffer, a.format, (unsigned long)a.start, (unsigned long)a.length);
        txString(out_buffer);
    }
}

// One pass: data bus, address bus, then every cell with a running pattern. Returns 0 on a failure
// (already reported).
static int memTestPass(uint8_t *base, uint32_t start, uint32_t length, int pass) {
    volatile uint32_t *word = (volatile uint32_t *)base;
    for (int b = 0; b < 32; b++) {
        uint32_t expect = 1u << b;
        *word = expect;
        uint32_t got = *word;
        if (got != expect) {
            snprintf(out_buffer, sizeof out_buffer,
                     "Data bit failure on pass %d: addr 0x%lx, exp: 0x%lX, rec: %lx\r", pass,
                     (unsigned long)start, (unsigned long)expect, (unsigned long)got);
            txString(out_buffer);
            return 0;
        }
    }
    volatile uint8_t *byte = base;
    uint32_t mask = 0;
    for (uint32_t m = length - 1; m; m >>= 1) mask = (mask << 1) | 1;
    for (uint32_t o = 1; o & mask; o <<= 1) byte[o] = 0xC5;
    byte[0] = 0x3A;
    for (uint32_t o = 1; o & mask; o <<= 1) {
        if (byte[o] != 0xC5) {
            snprintf(out_buffer, sizeof out_buffer,
                     "Address bit failure on pass %d: addr 0x%lx, exp: 0x%02X, rec: 0x%02X\r", pass,
                     (unsigned long)(start + o), 0xC5, byte[o]);
            txString(out_buffer);
            return 0;
        }
    }
    byte[0] = 0xC5;
    for (uint32_t t = 1; t & mask; t <<= 1) {
        byte[t] = 0x3A;
        for (uint32_t o = 0; o == 0 || (o & mask); o = o ? o << 1 : 1) {
            if (o == t || byte[o] == 0xC5) continue;
            snprintf(out_buffer, sizeof out_buffer,
                     "Address bit failure on pass %d: addr 0x%lx, exp: 0x%02X, rec: 0x%02x\r", pass,
                     (unsigned long)(start + o), 0xC5, byte[o]);
            txString(out_buffer);
            return 0;
        }
        byte[t] = 0xC5;
    }
    // The pattern skips 0xFF: 0xFE is followed by 0x00.
    uint8_t v = (uint8_t)(8 * pass);
    for (uint32_t i = 0; i < length; i++) {
        if (v == 0xFF) v = 0;
        byte[i] = v++;
    }
    v = (uint8_t)(8 * pass);
    for (uint32_t i = 0; i < length; i++) {
        if (v == 0xFF) v = 0;
        if (byte[i] != v) {
            snprintf(out_buffer, sizeof out_buffer,
                     "Memory cell failure on pass %d: addr 0x%lx, exp: 0x%lX, rec: %lx\r", pass,
                     (unsigned long)(start + i), (unsigned long)v, (unsigned long)byte[i]);
            txString(out_buffer);
            return 0;
        }
        v++;
    }
    return 1;
}

int cmd_sys_memTest(char *line) {
    unsigned long startArg, lengthArg;
    int reps, area;
    uint32_t start, length;
    if (sscanf(line, "*memTest %lx %lx %d", &startArg, &lengthArg, &reps) == 3) {
        start = (uint32_t)startArg;
        length = (uint32_t)lengthArg;
        // The length counts words here, as the bound check says.
        if (start < BSP_EXTRAM_BASE || length == 0 || (uint64_t)start + 4ull * length > BSP_SDRAM_END) {
            txString("Start address or length out of bounds\r");
            return CMD_FAIL;
        }
    } else if (sscanf(line, "*memTest %d %d", &area, &reps) == 2) {
        if (area == 1) {
            start = BSP_EXTRAM_BASE;
            length = BSP_EXTRAM_SIZE;
        } else if (area == 3) {
            start = BSP_VIDEORAM_BASE;
            length = BSP_VIDEORAM_SIZE;
        } else if (area == 4) {
            start = BSP_EXTRAM_BASE;
            length = BSP_SDRAM_END - BSP_EXTRAM_BASE;
        } else {
            txString("Unknown RAM area\r");
            return CMD_FAIL;
        }
    } else {
        memTestUsage();
        return CMD_OK;
    }
    if ((uint64_t)start + length > BSP_SDRAM_END) length = BSP_SDRAM_END - start;
    uint8_t *base = (uint8_t *)bsp_mem(start, length);
    if (!base) return CMD_FAIL;
    snprintf(out_buffer, sizeof out_buffer, "Testing from 0x%08lx, length 0x%08lX,", (unsigned long)start,
             (unsigned long)length);
    txString(out_buffer);
    if (reps)
        snprintf(out_buffer, sizeof out_buffer, " count %d\r", reps);
    else
        snprintf(out_buffer, sizeof out_buffer, " repeat forever\r");
    txString(out_buffer);
    for (int pass = 1;; pass++) {
        if (!memTestPass(base, start, length, pass)) return CMD_FAIL;
        snprintf(out_buffer, sizeof out_buffer, "Memory test pass %d\r", pass);
        txString(out_buffer);
        if (lineStatusInWait()) {
            txString("Memory test manually stopped\r");
            return CMD_OK;
        }
        if (reps && pass >= reps) return CMD_OK;
    }
}
