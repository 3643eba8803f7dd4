// The board's memory map: external SDRAM (resource image and video RAM), the program flash and the
// peripheral register block of the diagnostic commands.
#include <string.h>

#include "board/host/host.h"

namespace host {
namespace {

constexpr uint32_t SDRAM_BASE = BSP_EXTRAM_BASE;
constexpr uint32_t SDRAM_SIZE = BSP_SDRAM_END - BSP_EXTRAM_BASE; // 12 MiB incl. video RAM

alignas(64) uint8_t sdram[SDRAM_SIZE];
alignas(64) uint8_t programFlash[BSP_PROGRAM_FLASH_SIZE];
alignas(64) uint8_t registers[BSP_REGISTER_SIZE];

struct Region {
    uint32_t base;
    uint32_t size;
    uint8_t *bytes;
};
const Region regions[] = {
    {SDRAM_BASE, SDRAM_SIZE, sdram},
    {BSP_PROGRAM_FLASH_BASE, BSP_PROGRAM_FLASH_SIZE, programFlash},
    {BSP_REGISTER_BASE, BSP_REGISTER_SIZE, registers},
};

const Region *find(uint32_t addr, uint32_t len) {
    for (const Region &r : regions) {
        uint64_t end = (uint64_t)addr + len;
        if (addr >= r.base && end <= (uint64_t)r.base + r.size) return &r;
    }
    return nullptr;
}

// Erased flash with a small header naming the product, at the boot area and at the firmware image.
void fillProgramFlash() {
    memset(programFlash, 0xFF, sizeof programFlash);
    static const char boot[] = "ZEFO5 boot loader (simulated board)";
    static const char image[] = "ZEFO5 firmware image (simulated board)";
    memcpy(programFlash, boot, sizeof boot);
    memcpy(programFlash + (BSP_FIRMWARE_BASE - BSP_PROGRAM_FLASH_BASE), image, sizeof image);
}

uint8_t *registerAt(uint32_t addr, uint32_t len, const char *what) {
    uint64_t end = (uint64_t)addr + len;
    if (addr < BSP_REGISTER_BASE || end > (uint64_t)BSP_REGISTER_BASE + BSP_REGISTER_SIZE)
        fault("%s at 0x%08X outside the register block", what, addr);
    return registers + (addr - BSP_REGISTER_BASE);
}

} // namespace

namespace memory {
void powerOn() {
    memset(sdram, 0, sizeof sdram);
    memset(registers, 0, sizeof registers);
    fillProgramFlash();
}

// SDRAM keeps its contents over a watchdog reset; the peripherals return to their reset values.
void reset() {
    memset(registers, 0, sizeof registers);
}
} // namespace memory

} // namespace host

using namespace host;

void *bsp_mem(uint32_t addr, uint32_t len) {
    access();
    const Region *r = find(addr, len);
    return r ? r->bytes + (addr - r->base) : nullptr;
}

uint32_t bsp_addr(const void *ptr) {
    access();
    const uint8_t *p = (const uint8_t *)ptr;
    for (const Region &r : regions) {
        if (p >= r.bytes && p < r.bytes + r.size) return r.base + (uint32_t)(p - r.bytes);
    }
    return 0;
}

uint32_t bsp_reg_read32(uint32_t addr) {
    uint32_t v;
    memcpy(&v, registerAt(addr, 4, "32-bit register read"), 4);
    access();
    return v;
}

uint16_t bsp_reg_read16(uint32_t addr) {
    uint16_t v;
    memcpy(&v, registerAt(addr, 2, "16-bit register read"), 2);
    access();
    return v;
}

void bsp_reg_write32(uint32_t addr, uint32_t value) {
    memcpy(registerAt(addr, 4, "32-bit register write"), &value, 4);
    access();
}

uint8_t *sim_memory(uint32_t addr, uint32_t len) {
    const Region *r = find(addr, len);
    return r ? r->bytes + (addr - r->base) : nullptr;
}
