// The test surroundings of the macro engine.
#include "tests/macro/fake_env.h"

#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/commands.h"
#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "macro/macro.h"
#include "resource/resource.h"
#include "serial/serial.h"
#include "settings/settings.h"

std::vector<std::string> ran;
int abortAfter = -1, escapeAfter = -1;
std::function<void(int)> onTouch;
uint8_t fakeEeprom[0x2000];
int eepromWrites, configSaves;
int16_t temperature = 255;
static int abortCalls, escapeCalls, touchCalls;

static uint8_t extRam[BSP_EXTRAM_SIZE] __attribute__((aligned(8)));

// ---- board --------------------------------------------------------------------------------------
void *bsp_mem(uint32_t addr, uint32_t len) {
    if (addr < BSP_EXTRAM_BASE || len > BSP_EXTRAM_SIZE || addr - BSP_EXTRAM_BASE > BSP_EXTRAM_SIZE - len)
        return nullptr;
    return extRam + (addr - BSP_EXTRAM_BASE);
}
uint32_t bsp_addr(const void *) {
    return 0;
}
uint8_t EEpromRead(uint16_t a) {
    return fakeEeprom[a % sizeof fakeEeprom];
}
void EEpromWrite(uint16_t a, uint8_t v) {
    fakeEeprom[a % sizeof fakeEeprom] = v;
    eepromWrites++;
}
uint32_t bsp_irq_save(void) {
    return 0;
}
void bsp_irq_restore(uint32_t) {}
int16_t bsp_temperature_tenths(void) {
    return temperature;
}

// ---- serial -------------------------------------------------------------------------------------
uint32_t baudrate0 = 115200;
int checkAbortCmd(void) {
    int n = abortCalls++;
    return abortAfter >= 0 && n >= abortAfter;
}
int checkEscape(void) {
    int n = escapeCalls++;
    return escapeAfter >= 0 && n >= escapeAfter;
}
int rs485Active(void) {
    return 0;
}

// ---- drawing state ------------------------------------------------------------------------------
int Origin_X, Origin_Y;
int32_t textX, textY;
int32_t GUI_GetDispPosX(void) {
    return textX;
}
int32_t GUI_GetDispPosY(void) {
    return textY;
}

// ---- configuration and touch ----------------------------------------------------------------------
uint8_t eepromData[CONFIG_BLOCK_SIZE];
int QV_EEPROM_Save(void) {
    configSaves++;
    return 1;
}
void handle_touch(void) {
    int n = ++touchCalls;
    if (onTouch) onTouch(n);
}

// ---- the interpreter ------------------------------------------------------------------------------
int parse_command(char *line) {
    ran.push_back(line);
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

void resetEnv() {
    QV_Macros_Init();
    QV_DisableInternalMacros();
    memset(iMem, 0, sizeof iMem);
    memset(pt, 0, sizeof pt);
    macroVerbose = 0;
    macroNotify = 0;
    macroLineDone = handle_touch;
    sent.clear();
    ran.clear();
    abortAfter = escapeAfter = -1;
    abortCalls = escapeCalls = touchCalls = 0;
    onTouch = nullptr;
    memset(fakeEeprom, 0xFF, sizeof fakeEeprom);
    eepromWrites = configSaves = 0;
    temperature = 255;
    Origin_X = Origin_Y = 0;
    textX = textY = 0;
    baudrate0 = 115200;
    memset(eepromData, 0xFF, sizeof eepromData);
    memset(extRam, 0, 4096);
    ExtMemSize = BSP_EXTRAM_SIZE;
    ExtMemBuffer = ExtMemRamBuffer = BSP_EXTRAM_BASE;
}

void loadImage(const std::vector<uint8_t> &bin) {
    if (!bin.empty()) memcpy(extRam, bin.data(), bin.size());
    QV_Fixup_ExtMem(BSP_EXTRAM_BASE, ExtMemSize);
}

int host(const char *line) {
    char buf[131], exp[130], math[130];
    strncpy(buf, line, 130);
    buf[130] = 0;
    if (!killTrailingComment(buf)) return 1;
    expandVariables(buf, exp, "");
    processMath(exp, math);
    return parse_command(math);
}

std::string expand(const char *line, const char *const *args, int size) {
    std::vector<char> exp((size_t)size), math((size_t)size);
    expandVariables(exp.data(), size, line, args);
    processMath(math.data(), size, exp.data());
    return math.data();
}

// The touch room's values, as a touch left them.
bool macroTouchRelative(int32_t *x, int32_t *y) {
    *x = 5;
    *y = 6;
    return true;
}
bool macroTouchAbsolute(int32_t *x, int32_t *y) {
    *x = 105;
    *y = 206;
    return true;
}
bool macroSliderValue(int id, int32_t *value) {
    *value = id * 10;
    return id == 3;
}
