// The Versatile/PB port: memory map, platform set-up, the parts the machine lacks (SD slot, touch
// converter, temperature sensor), the watchdog restart, and what the C library needs of a board
// without a heap or files.
#include <errno.h>
#include <stddef.h>
#include <stdint.h>

#include "board/bsp/bsp.h"
#include "board/versatilepb/vpb.h"

// ---------------------------------------------------------------------------------------------
// Memory map. The board's SDRAM regions sit at their own addresses in machine RAM; the program
// flash is read at its alias, where QEMU loaded the image. The diagnostic register block is a
// plain 64 KiB of machine RAM at its board address (the machine has no peripherals there).

static int within(uint32_t addr, uint32_t len, uint32_t base, uint32_t size) {
    return addr >= base && addr - base <= size && len <= size - (addr - base);
}

void *bsp_mem(uint32_t addr, uint32_t len) {
    if (within(addr, len, BSP_PROGRAM_FLASH_BASE, BSP_PROGRAM_FLASH_SIZE))
        return reinterpret_cast<void *>(VPB_FLASH_ALIAS + (addr - BSP_PROGRAM_FLASH_BASE));
    if (within(addr, len, BSP_EXTRAM_BASE, BSP_SDRAM_END - BSP_EXTRAM_BASE))
        return reinterpret_cast<void *>(addr);
    return nullptr;
}

uint32_t bsp_addr(const void *ptr) {
    uint32_t p = (uint32_t) reinterpret_cast<uintptr_t>(ptr);
    if (p >= VPB_FLASH_ALIAS && p - VPB_FLASH_ALIAS < BSP_PROGRAM_FLASH_SIZE)
        return BSP_PROGRAM_FLASH_BASE + (p - VPB_FLASH_ALIAS);
    if (p >= BSP_EXTRAM_BASE && p < BSP_SDRAM_END) return p;
    return 0;
}

static volatile uint32_t *registerCell(uint32_t addr) {
    if (addr < BSP_REGISTER_BASE || addr - BSP_REGISTER_BASE > BSP_REGISTER_SIZE - 4) return nullptr;
    return reinterpret_cast<volatile uint32_t *>(addr & ~3u);
}

uint32_t bsp_reg_read32(uint32_t addr) {
    volatile uint32_t *cell = registerCell(addr);
    return cell ? *cell : 0;
}

uint16_t bsp_reg_read16(uint32_t addr) {
    volatile uint32_t *cell = registerCell(addr);
    return cell ? (uint16_t)(*cell >> ((addr & 2) * 8)) : 0;
}

void bsp_reg_write32(uint32_t addr, uint32_t value) {
    volatile uint32_t *cell = registerCell(addr);
    if (cell) *cell = value;
}

// ---------------------------------------------------------------------------------------------
// Platform set-up: QEMU's machine comes out of reset with its clocks running and nothing to
// multiplex.
void bsp_clock_init(void) {}
void bsp_system_clock(void) {}
void InitGPIO(void) {}
void bsp_platform_setup(void) {}

// ---------------------------------------------------------------------------------------------
// The SD slot is empty: no card is ever detected and a command gets no response.
static uint8_t sdPowered, sdClock;
int bsp_sd_card_detect(void) {
    return 0;
}
void SDCardSlotInit(void) {}
void bsp_sd_power(int on) {
    sdPowered = on != 0;
}
void bsp_sd_lines_low(void) {}
void bsp_sd_clock(int mode) {
    sdClock = (uint8_t)mode;
}
int bsp_sd_command(uint8_t, uint32_t, int, uint32_t resp[4]) {
    if (resp) resp[0] = resp[1] = resp[2] = resp[3] = 0;
    return BSP_SD_ERR_RESP_TIMEOUT;
}
int bsp_sd_read_data(uint8_t *) {
    return BSP_SD_ERR_DATA_TIMEOUT;
}
int bsp_sd_write_data(const uint8_t *) {
    return BSP_SD_ERR_DATA_TIMEOUT;
}

// ---------------------------------------------------------------------------------------------
// No touch converter: the pen never goes down and every conversion reads 0.
void InitTouch(void) {}
uint16_t bsp_touch_convert(uint8_t) {
    return 0;
}
int bsp_touch_pen_down(void) {
    return 0;
}

// No temperature sensor either: a constant room temperature, 25.0 degrees.
int16_t bsp_temperature_tenths(void) {
    return 250;
}

// ---------------------------------------------------------------------------------------------
// Restart through the watchdog: the machine's reset control resets every device and QEMU reloads
// the image; RAM (and the EEPROM and data flash kept there) stays. Should the reset not come, the
// reset handler is entered directly, which copies the data again and zeroes the rest.
void bsp_watchdog_reset(void) {
    vpbQuiesce();
    while (!bsp_uart_tx_empty(0)) {}
    vpbReg(VPB_SYS_LOCK) = VPB_SYS_LOCK_KEY;
    vpbReg(VPB_SYS_RESETCTL) = 0x100u | 0x01u;
    // About a millisecond, read from the timer (running or not, the wait ends).
    for (uint32_t i = 0; i < 100000u; i++) __asm__ volatile("" ::: "memory");
    reset_handler();
}

// ---------------------------------------------------------------------------------------------
// The C library on a board without a heap: its allocation entry points always fail, so that a
// formatted print to a stream falls back to unbuffered output and nothing grows. The image check
// fails the build if anything outside the C library calls an allocator.
extern "C" {
void *_malloc_r(struct _reent *, size_t) {
    errno = ENOMEM;
    return nullptr;
}
void *_calloc_r(struct _reent *, size_t, size_t) {
    errno = ENOMEM;
    return nullptr;
}
void *_realloc_r(struct _reent *, void *, size_t) {
    errno = ENOMEM;
    return nullptr;
}
void _free_r(struct _reent *, void *) {}

// Streams: stdout and stderr go to UART0 by polling; there is nothing to read or seek.
int _write(int fd, const char *data, int len) {
    if (fd != 1 && fd != 2) {
        errno = EBADF;
        return -1;
    }
    for (int i = 0; i < len; i++) bsp_uart0_putchar(data[i]);
    return len;
}
int _read(int, char *, int) {
    return 0;
}
int _close(int) {
    return -1;
}
int _lseek(int, int, int) {
    return -1;
}
int _fstat(int, void *) {
    return -1;
}
int _isatty(int fd) {
    return fd <= 2;
}

void abort(void) {
    bsp_fatal("abort");
}
void __assert_func(const char *file, int, const char *, const char *expr) {
    (void)file;
    bsp_fatal(expr);
}
void __cxa_pure_virtual(void) {
    bsp_fatal("pure virtual call");
}
}
