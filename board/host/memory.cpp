// The board's memory map: external SDRAM (resource image and video RAM), the program flash and the
// peripheral register block of the diagnostic commands.
#include <string.h>
#include <sys/mman.h>

#include "board/host/host.h"

namespace host {
namespace {

constexpr uint32_t SDRAM_BASE = BSP_EXTRAM_BASE;
constexpr uint32_t SDRAM_SIZE = BSP_SDRAM_END - BSP_EXTRAM_BASE; // 12 MiB incl. video RAM

struct Region {
    uint32_t base;
    uint32_t size;
    uint8_t *bytes;
};
// SDRAM comes from the kernel as zero pages that are only backed once the firmware touches them;
// power-on hands the touched ones back instead of clearing every byte.
Region regions[] = {
    {SDRAM_BASE, SDRAM_SIZE, nullptr},
    {BSP_PROGRAM_FLASH_BASE, BSP_PROGRAM_FLASH_SIZE, nullptr},
    {BSP_REGISTER_BASE, BSP_REGISTER_SIZE, nullptr},
};
Region &sdram = regions[0];
Region &programFlash = regions[1];
Region &registers = regions[2];
bool sdramUsed; // pages may hold data from an earlier power-on

uint8_t *mapZeroed(size_t size) {
    void *p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) fault("cannot map %zu bytes of board memory", size);
    return (uint8_t *)p;
}

void mapMemories() {
    if (sdram.bytes) return;
    for (Region &r : regions) r.bytes = mapZeroed(r.size);
}

void clearSdram() {
    if (sdramUsed && madvise(sdram.bytes, sdram.size, MADV_DONTNEED) != 0) memset(sdram.bytes, 0, sdram.size);
    sdramUsed = true;
}

const Region *find(uint32_t addr, uint32_t len) {
    mapMemories();
    for (const Region &r : regions) {
        uint64_t end = (uint64_t)addr + len;
        if (addr >= r.base && end <= (uint64_t)r.base + r.size) return &r;
    }
    return nullptr;
}

// Erased flash with a small header naming the product, at the boot area and at the firmware image.
void fillProgramFlash() {
    memset(programFlash.bytes, 0xFF, programFlash.size);
    static const char boot[] = "ZEFO5 boot loader (simulated board)";
    static const char image[] = "ZEFO5 firmware image (simulated board)";
    memcpy(programFlash.bytes, boot, sizeof boot);
    memcpy(programFlash.bytes + (BSP_FIRMWARE_BASE - BSP_PROGRAM_FLASH_BASE), image, sizeof image);
}

uint8_t *registerAt(uint32_t addr, uint32_t len, const char *what) {
    uint64_t end = (uint64_t)addr + len;
    if (addr < BSP_REGISTER_BASE || end > (uint64_t)BSP_REGISTER_BASE + BSP_REGISTER_SIZE)
        fault("%s at 0x%08X outside the register block", what, addr);
    mapMemories();
    return registers.bytes + (addr - BSP_REGISTER_BASE);
}

} // namespace

namespace memory {
void powerOn() {
    mapMemories();
    clearSdram();
    memset(registers.bytes, 0, registers.size);
    fillProgramFlash();
}

// SDRAM keeps its contents over a watchdog reset; the peripherals return to their reset values.
void reset() {
    memset(registers.bytes, 0, registers.size);
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
    mapMemories();
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
