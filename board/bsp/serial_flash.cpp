// The serial NOR data flash command set, one chip-select per command.
#include "board/bsp/bsp.h"

enum : uint8_t {
    SF_READ_ID = 0x9F,
    SF_READ_STATUS = 0x05,
    SF_WRITE_ENABLE = 0x06,
    SF_WRITE_DISABLE = 0x04,
    SF_PAGE_PROGRAM = 0x02,
    SF_FAST_READ = 0x0B,
    SF_SECTOR_ERASE = 0xD8,
    SF_CHIP_ERASE = 0xC7,
    SF_STATUS_BUSY = 0x01,
};

static void command(uint8_t op) {
    bsp_flash_select(1);
    bsp_flash_xfer(op);
    bsp_flash_select(0);
}

static void sendAddress(uint32_t address) {
    bsp_flash_xfer((uint8_t)(address >> 16));
    bsp_flash_xfer((uint8_t)(address >> 8));
    bsp_flash_xfer((uint8_t)address);
}

static void waitNotBusy(void) {
    while (SerialFlashStatus() & SF_STATUS_BUSY) {
    }
}

uint32_t ReadSerialFlashID(void) {
    bsp_flash_select(1);
    bsp_flash_xfer(SF_READ_ID);
    uint32_t id = (uint32_t)bsp_flash_xfer(0) << 16;
    id |= (uint32_t)bsp_flash_xfer(0) << 8;
    id |= bsp_flash_xfer(0);
    bsp_flash_select(0);
    return id;
}

uint8_t SerialFlashStatus(void) {
    bsp_flash_select(1);
    bsp_flash_xfer(SF_READ_STATUS);
    uint8_t status = bsp_flash_xfer(0);
    bsp_flash_select(0);
    return status;
}

void WriteSerialFlash(uint32_t address, uint32_t count, const uint8_t *data) {
    command(SF_WRITE_ENABLE);
    bsp_flash_select(1);
    bsp_flash_xfer(SF_PAGE_PROGRAM);
    sendAddress(address);
    for (uint32_t i = 0; i < count; i++) bsp_flash_xfer(data[i]);
    bsp_flash_select(0);
    waitNotBusy();
    command(SF_WRITE_DISABLE);
}

void ReadSerialFlash(uint32_t address, uint32_t count, uint8_t *buffer) {
    bsp_flash_select(1);
    bsp_flash_xfer(SF_FAST_READ);
    sendAddress(address);
    bsp_flash_xfer(0); // dummy byte
    for (uint32_t i = 0; i < count; i++) buffer[i] = bsp_flash_xfer(0);
    bsp_flash_select(0);
}

void SectorEraseSerialFlash(uint32_t sector) {
    command(SF_WRITE_ENABLE);
    bsp_flash_select(1);
    bsp_flash_xfer(SF_SECTOR_ERASE);
    sendAddress(sector * 65536u); // address bytes n, 0, 0 (every sector size is 64K-aligned)
    bsp_flash_select(0);
    waitNotBusy();
    command(SF_WRITE_DISABLE);
}

void EraseSerialFlash(void) {
    command(SF_WRITE_ENABLE);
    command(SF_CHIP_ERASE);
    waitNotBusy();
    command(SF_WRITE_DISABLE);
}
