// The SD card's commands and the wording of its interface errors: the driver below reports flags,
// the messages are chosen here.
#include <stdio.h>

#include "base/console.h"
#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "fat/ff.h"
#include "sdcard/sdcard.h"

void SDCardReportErrors(uint32_t f) {
    if (f & BSP_SD_ERR_DATA_TIMEOUT) perr(":!SD Card: Time-Out Read Data Error\r");
    if (f & BSP_SD_ERR_RESP_TIMEOUT) perr(":!SD Card: Time-Out Response Error\r");
    if (f & BSP_SD_ERR_CRC_WRITE) perr(":!SD Card: CRC Write Error\r");
    if (f & BSP_SD_ERR_CRC_READ) perr(":!SD Card: CRC Read Error\r");
    if (f & BSP_SD_ERR_RESP_CRC) perr(":!SD Card: Response CRC Error\r");
    if (f & BSP_SD_ERR_WRITE_STATUS) perr(":!SD Card: Write CRC Error Code\r");
}

int cmd_sys_cd(char *line) {
    char dir[17];
    if (sscanf(line, "*cd %16s", dir) != 1) return CMD_FAIL;
    if (!SDisInitialized()) {
        perr(":SD Card not ready\r");
        return CMD_FAIL;
    }
    if (ff::chdir(dir) != 0) {
        perr(":SD Card, chdir(\"%s\") FAILED\r", dir);
        return CMD_FAIL;
    }
    return CMD_OK;
}

int cmd_sys_ls(char *) {
    if (!SDisInitialized()) {
        perr(":SD Card not ready\r");
        return CMD_FAIL;
    }
    ff::FF_DIRENT e;
    char name[16];
    for (int more = ff::read_directory_entry(&e, 0); more; more = ff::read_directory_entry(&e, 1)) {
        if (e.attr & (ff::FF_ATTR_HIDDEN | ff::FF_ATTR_SYSTEM | ff::FF_ATTR_VOLUME)) continue;
        ff::NameFromDirEntry(&e, name);
        snprintf(out_buffer, sizeof out_buffer, "%s%s\r", name, (e.attr & ff::FF_ATTR_DIRECTORY) ? "/" : "");
        txString(out_buffer);
    }
    return CMD_OK;
}

int cmd_sys_sdled(char *line) {
    int on;
    if (sscanf(line, "*sdled %d", &on) != 1) return CMD_FAIL;
    sdLedChoice = on != 0;
    SD_led(sdLedChoice);
    return CMD_OK;
}
