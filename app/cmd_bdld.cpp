// "bdld": a block of raw bytes into the data flash. The host erases first ("xmc") and sends exactly
// the announced number of bytes after the display's '>' CR; the final reply tells the outcome.
#include <stdio.h>

#include "app/commands.h"
#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "board/services/timer.h"
#include "resource/flash1.h"
#include "serial/serial.h"
#include "touch/touch.h"

enum : uint32_t { BDLD_CHUNK = 128 };
enum { BDLD_MEMORY_FLASH = 4 };

int doFlashBinDownload(uint32_t address, uint32_t length, uint32_t timeout) {
    makeUartBinMain();
    binTxChar('>');
    binTxChar('\r');
    flashUploadBegin();
    gpTimer = timeout;
    while (length) {
        binFlowControl();
        const uint32_t chunk = length < BDLD_CHUNK ? length : BDLD_CHUNK;
        if ((uint32_t)rxHeld() >= chunk) {
            uint8_t bytes[BDLD_CHUNK];
            for (uint32_t i = 0; i < chunk; i++) bytes[i] = waitChar();
            gpTimer = timeout;
            if (flashUploadWrite(address, bytes, chunk) != FLASH_OK) return binAbandon(BIN_DRAIN_MS);
            address += chunk;
            length -= chunk;
            continue;
        }
        if (bufferOverflow || rxError || !gpTimer) return binAbandon(BIN_DRAIN_MS);
        if (GetPenState()) handle_touch();
        bsp_idle(); // waiting for the host, as the main loop does between lines
    }
    // The magic goes in last, once every byte is there.
    const int ok = flashUploadFinish() == FLASH_OK;
    restoreUartBinMain();
    return ok;
}

// The range is checked before the '>' CR: a refused download never starts.
int cmd_bdld(char *line) {
    int memory;
    unsigned long address;
    long length, timeout;
    if (sscanf(line, "bdld %d %lx %ld %ld", &memory, &address, &length, &timeout) != 4) return CMD_FAIL;
    if (memory != BDLD_MEMORY_FLASH || length < 0 || timeout <= 0 || address > Flash1Size ||
        (unsigned long)length > Flash1Size - address)
        return CMD_FAIL;
    return doFlashBinDownload((uint32_t)address, (uint32_t)length, (uint32_t)timeout) ? CMD_OK : CMD_FAIL;
}
