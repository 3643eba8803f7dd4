// Maintenance commands on the card and the EEPROM: the file-system write test, the EEPROM byte
// window and the screen dump to a BMP file.
#include <stdio.h>
#include <string.h>

#include "app/commands.h"
#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "board/services/timer.h"
#include "fat/ff.h"
#include "gfx/gui.h"
#include "sdcard/sdcard.h"
#include "serial/serial.h"

// "fopen": writes 20 blocks of 512 bytes to "mytest.ini".
int cmd_fopen(char *) {
    if (!SDisInitialized()) {
        perr(":SD Card not ready\r");
        return CMD_FAIL;
    }
    ff::FF_FILE *f = ff::fcreate("mytest.ini", ff::FF_WRITE);
    if (!f) return CMD_FAIL;
    SD_led(1);
    uint8_t block[ff::FF_SECTOR_SIZE];
    bool ok = true;
    for (uint32_t n = 0; n < 20 && ok; n++) {
        for (uint32_t i = 0; i < sizeof block; i++) block[i] = (uint8_t)(n + i);
        ok = ff::fwrite(block, 1, sizeof block, f) == sizeof block;
    }
    if (SD_fclose(f) != 0) ok = false;
    return ok ? CMD_OK : CMD_FAIL;
}

static void replyEeprom(unsigned address, uint8_t value) {
    if (address < 256)
        snprintf(out_buffer, sizeof out_buffer, "%02X = %02X\r", address, value);
    else
        snprintf(out_buffer, sizeof out_buffer, "%04x = %02X\r", address, value);
    txString(out_buffer);
}

int cmd_i2c_read(char *line) {
    unsigned address;
    if (sscanf(line, "i2c read %x", &address) != 1) return CMD_FAIL;
    address &= 0xFFFF; // the EEPROM's word address
    replyEeprom(address, EEpromRead((uint16_t)address));
    return CMD_OK;
}

int cmd_i2c_write(char *line) {
    unsigned address, value;
    if (sscanf(line, "i2c write %x %x", &address, &value) != 2) return CMD_FAIL;
    address &= 0xFFFF;
    EEpromWrite((uint16_t)address, (uint8_t)value);
    replyEeprom(address, (uint8_t)value);
    return CMD_OK;
}

// ---- screen dump --------------------------------------------------------------------------------------
struct DumpSink {
    ff::FF_FILE *file;
    bool failed;
};

// A progress dot every half second; a write that fails is reported once and ends the writing.
static void WriteByte2File(uint8_t byte, void *arg) {
    DumpSink *sink = (DumpSink *)arg;
    if (sink->failed) return;
    if (delayTimer == 0) {
        pout(".");
        delayTimer = 500;
    }
    if (ff::fputc(byte, sink->file) == ff::FF_EOF) {
        perr(":error writing BMP file\r");
        sink->failed = true;
    }
}

enum { DUMP_NAMES = 1000 };

int cmd_sys_getScreenAsBMPFile(char *) {
    if (!SDisInitialized()) {
        perr(":SD Card not initialized\r");
        return CMD_FAIL;
    }
    char name[16];
    int n = 0;
    for (; n < DUMP_NAMES; n++) {
        snprintf(name, sizeof name, "ZEFO%04d.BMP", n);
        ff::FF_FILE *f = SD_fopen(name, ff::FF_READ);
        if (!f) break;
        SD_fclose(f);
    }
    if (n == DUMP_NAMES) return CMD_FAIL; // every name is taken: no dump is overwritten
    DumpSink sink = {ff::fcreate(name, ff::FF_WRITE), false};
    if (!sink.file) return CMD_FAIL;
    SD_led(1);
    pout(":writing SD File %s", name);
    txWait();
    delayTimer = 500;
    GUI_BMP_Serialize(WriteByte2File, &sink);
    if (SD_fclose(sink.file) != 0 && !sink.failed) {
        perr(":error writing BMP file\r");
        sink.failed = true;
    }
    delayTimer = 0;
    pout("\r");
    ff::FF_FILE *f = SD_fopen(name, ff::FF_READ);
    if (!f) {
        perr(":file %s not created\r", name);
        return CMD_FAIL;
    }
    SD_fclose(f);
    return sink.failed ? CMD_FAIL : CMD_OK;
}
