// The Versatile/PB port on its own, without the firmware: a line-oriented monitor on UART0 whose
// commands exercise one part of the port each and answer "... ok" or what went wrong.
// tools/target/qemu_test.py drives it under qemu-system-arm.
#include <stdio.h>
#include <string.h>

#include "board/bsp/bsp.h"

// ---- start-up state: the reset handler copies the first and zeroes the second -----------------
static volatile uint32_t dataWord = 0x12345678u;
static volatile uint32_t bssWord;

// ---- the tick -----------------------------------------------------------------------------------
static volatile uint32_t ms, frames;
static void tickIsr(void) {
    ms = ms + 1;
    if (bsp_lcd_frame_start()) frames = frames + 1;
    bsp_timer_ack();
}

static uint32_t now(void) {
    uint32_t a = ms, b = ms;
    while (a != b) {
        a = b;
        b = ms;
    }
    return a;
}

// ---- interrupt-driven rings on both UARTs ----------------------------------------------------------
enum : uint32_t { RING = 8192 };
struct Ring {
    uint8_t bytes[RING];
    volatile uint32_t head, tail; // written by one side each
    uint32_t used() const { return head - tail; }
};
static Ring rx0, tx0, rx1, tx1;

static void rxIsr(int port) {
    Ring &r = port ? rx1 : rx0;
    uint8_t b = bsp_uart_read(port);
    if (r.used() < RING) {
        r.bytes[r.head % RING] = b;
        r.head = r.head + 1;
    }
}
static void txIsr(int port) {
    Ring &t = port ? tx1 : tx0;
    while (t.used() && bsp_uart_tx_ready(port)) {
        bsp_uart_write(port, t.bytes[t.tail % RING]);
        t.tail = t.tail + 1;
    }
    if (!t.used()) bsp_uart_tx_irq(port, 0);
}
static void rx0Isr(void) {
    rxIsr(0);
}
static void tx0Isr(void) {
    txIsr(0);
}
static void rx1Isr(void) {
    rxIsr(1);
}
static void tx1Isr(void) {
    txIsr(1);
}

static void put(int port, uint8_t c) {
    Ring &t = port ? tx1 : tx0;
    while (t.used() >= RING) bsp_wait_for_interrupt();
    t.bytes[t.head % RING] = c;
    t.head = t.head + 1;
    bsp_uart_tx_irq(port, 1);
}
static void putText(int port, const char *s) {
    while (*s) put(port, (uint8_t)*s++);
}
static void reply(const char *s) {
    putText(0, s);
    put(0, '\r');
}
static void drain(int port) {
    Ring &t = port ? tx1 : tx0;
    while (t.used() || !bsp_uart_tx_empty(port)) bsp_wait_for_interrupt();
}

static int get(int port) {
    Ring &r = port ? rx1 : rx0;
    if (!r.used()) return -1;
    uint8_t c = r.bytes[r.tail % RING];
    r.tail = r.tail + 1;
    return c;
}

static char line[256], out[320];
static char line1[256];
static uint32_t line1Len;

// Bytes from UART1 come back on UART0 line by line, so that a test sees both directions.
static void serviceUart1(void) {
    int c;
    while ((c = get(1)) >= 0) {
        if (c == '\r') {
            line1[line1Len] = 0;
            snprintf(out, sizeof out, "u1< %s", line1);
            reply(out);
            line1Len = 0;
        } else if (line1Len < sizeof line1 - 1) {
            line1[line1Len++] = (char)c;
        }
    }
}

static void readLine(void) {
    uint32_t n = 0;
    for (;;) {
        serviceUart1();
        int c = get(0);
        if (c < 0) {
            bsp_idle();
            continue;
        }
        if (c == '\r') break;
        if (n < sizeof line - 1) line[n++] = (char)c;
    }
    line[n] = 0;
}

// ---- the checks ---------------------------------------------------------------------------------
static const char *failure;
static void check(bool ok, const char *what) {
    if (!ok && !failure) failure = what;
}
static void verdict(const char *name) {
    snprintf(out, sizeof out, "%s %s", name, failure ? failure : "ok");
    reply(out);
    failure = nullptr;
}

static void testTick(void) {
    uint32_t start = now(), f0 = frames;
    uint32_t lo = BSP_TIMER_PERIOD, hi = 0, outOfRange = 0;
    while (now() - start < 100) {
        uint32_t c = bsp_timer_count();
        if (c >= BSP_TIMER_PERIOD) outOfRange++;
        if (c < lo) lo = c;
        if (c > hi) hi = c;
    }
    check(outOfRange == 0, "count out of range");
    check(lo < 1000 && hi > 15000, "count does not sweep its period");
    // 800 x 480 at the default timing: 928 x 525 clocks of 1/16.384 us, a frame every 29.7 ms.
    uint32_t f = frames - f0;
    check(f >= 3 && f <= 4, "frame starts");
    // The same tick as a fast interrupt, then back.
    interrupt_enable(BSP_IRQ_TICK, 1);
    start = now();
    while (now() - start < 20) bsp_wait_for_interrupt();
    interrupt_enable(BSP_IRQ_TICK, 0);
    start = now();
    while (now() - start < 5) bsp_wait_for_interrupt();
    verdict("tick");
}

// The firmware's busy wait: the count read until two reads agree within 4 counts, the passed
// counts summed across wraps. It keeps time only if the count reads fast and fine enough.
static uint32_t rawTries;
static uint32_t rawCount(void) {
    uint32_t a = bsp_timer_count();
    for (;;) {
        rawTries++;
        uint32_t b = bsp_timer_count();
        if ((b - a + BSP_TIMER_PERIOD) % BSP_TIMER_PERIOD <= 4) return b;
        a = b;
    }
}

// The machine's 24 MHz counter (system registers), the reference the busy wait is judged by.
static uint32_t clock24(void) {
    return *(volatile uint32_t *)0x1000005Cu;
}

static void testBusyWait(uint32_t msWanted) {
    uint32_t start = now(), start24 = clock24(), reads = 0;
    rawTries = 0;
    uint32_t last = rawCount(), passed = 0;
    while (passed < msWanted * BSP_TIMER_PERIOD) {
        uint32_t c = rawCount();
        passed += (c - last + BSP_TIMER_PERIOD) % BSP_TIMER_PERIOD;
        last = c;
        reads++;
    }
    uint32_t took = (clock24() - start24) / 24000u;
    snprintf(out, sizeof out, "delay %s: %lu ms, %lu ticks, %lu reads, %lu tries",
             took >= msWanted ? "ok" : "short", (unsigned long)took, (unsigned long)(now() - start),
             (unsigned long)reads, (unsigned long)rawTries);
    reply(out);
}

static void testMemoryMap(void) {
    uint8_t *flash = (uint8_t *)bsp_mem(BSP_PROGRAM_FLASH_BASE, 1);
    check(flash != nullptr, "flash unmapped");
    check(bsp_mem(BSP_FIRMWARE_BASE, BSP_FIRMWARE_SIZE) == flash + BSP_BOOT_AREA_SIZE,
          "image not after boot area");
    check(bsp_addr(flash + BSP_BOOT_AREA_SIZE) == BSP_FIRMWARE_BASE, "flash address");
    check(bsp_mem(BSP_FIRMWARE_BASE, BSP_FIRMWARE_SIZE + 1) == nullptr, "flash overrun mapped");
    // The image's first word is the first slot of the vector table: a load of the PC.
    check((*(uint32_t *)(flash + BSP_BOOT_AREA_SIZE) & 0xFFFFF000u) == 0xE59FF000u,
          "image not at the firmware base");
    uint8_t *ext = (uint8_t *)bsp_mem(BSP_EXTRAM_BASE, BSP_EXTRAM_SIZE);
    uint8_t *video = (uint8_t *)bsp_mem(BSP_VIDEORAM_BASE, BSP_VIDEORAM_SIZE);
    check(ext && video && video == ext + BSP_EXTRAM_SIZE, "SDRAM regions");
    check(bsp_mem(BSP_EXTRAM_BASE, BSP_EXTRAM_SIZE + BSP_VIDEORAM_SIZE) == ext, "whole SDRAM");
    check(bsp_mem(BSP_SDRAM_END - 4, 8) == nullptr, "SDRAM end overrun mapped");
    check(bsp_mem(BSP_EXTRAM_BASE - 1, 1) == nullptr, "below SDRAM mapped");
    check(bsp_mem(0xFFFFFFF0u, 0x20) == nullptr, "address wrap mapped");
    check(bsp_addr(video + 6) == BSP_VIDEORAM_BASE + 6, "video address");
    check(bsp_addr(const_cast<const uint32_t *>(&dataWord)) == 0, "program RAM has a board address");
    ext[0] = 0x5A;
    ext[BSP_EXTRAM_SIZE - 1] = 0xA5;
    check(*(volatile uint8_t *)bsp_mem(BSP_EXTRAM_BASE, 1) == 0x5A, "SDRAM write");
    // The register block keeps what is written; outside it reads 0.
    bsp_reg_write32(BSP_REGISTER_BASE + 0x10, 0xCAFEF00Du);
    check(bsp_reg_read32(BSP_REGISTER_BASE + 0x10) == 0xCAFEF00Du, "register write");
    check(bsp_reg_read16(BSP_REGISTER_BASE + 0x12) == 0xCAFE, "register 16-bit read");
    check(bsp_reg_read32(BSP_REGISTER_BASE + BSP_REGISTER_SIZE) == 0, "register block overrun");
    verdict("mem");
}

static void testEeprom(void) {
    // Through the portable protocol code: both areas the configuration uses.
    for (uint32_t a = 0; a < 0x200; a++) EEpromWrite((uint16_t)a, (uint8_t)(a * 7 + 1));
    for (uint32_t a = 0x1000; a < 0x1100; a++) EEpromWrite((uint16_t)a, (uint8_t)(a ^ 0x5C));
    for (uint32_t a = 0; a < 0x200; a++)
        check(EEpromRead((uint16_t)a) == (uint8_t)(a * 7 + 1), "area 0 read back");
    for (uint32_t a = 0x1000; a < 0x1100; a++)
        check(EEpromRead((uint16_t)a) == (uint8_t)(a ^ 0x5C), "area 1 read back");
    check(EEpromRead(0x2005) == EEpromRead(0x0005), "address bits above 8 KiB not ignored");

    // At the bus: a page write rolls over inside its 32-byte page, and only lands at the stop.
    check(bsp_i2c_start(0xA0) == 1, "no acknowledge");
    bsp_i2c_write(0x01);
    bsp_i2c_write(0x1E); // 0x11E: two bytes before the end of the page at 0x100
    for (uint8_t v = 0xE0; v < 0xE4; v++) bsp_i2c_write(v);
    bsp_i2c_stop();
    check(bsp_i2c_start(0xA0) == 0, "acknowledged during the write cycle");
    bsp_i2c_stop();
    check(EEpromRead(0x11E) == 0xE0 && EEpromRead(0x11F) == 0xE1, "page end");
    check(EEpromRead(0x100) == 0xE2 && EEpromRead(0x101) == 0xE3, "page roll-over");
    check(EEpromRead(0x120) == (uint8_t)(0x120 * 7 + 1), "write crossed the page");
    // A repeated start abandons the bytes sent so far.
    bsp_i2c_start(0xA0);
    bsp_i2c_write(0x00);
    bsp_i2c_write(0x40);
    bsp_i2c_write(0x99);
    bsp_i2c_start(0xA1);
    bsp_i2c_stop();
    check(EEpromRead(0x40) == (uint8_t)(0x40 * 7 + 1), "abandoned write stored");
    check(bsp_i2c_start(0xA2) == 0, "another device answered");
    bsp_i2c_stop();
    verdict("ee");
}

static void testFlash(void) {
    check(ReadSerialFlashID() == 0x202018u, "identification");
    uint8_t page[256], back[256];
    SectorEraseSerialFlash(4); // address 0x40000: the sector from 0x40000
    ReadSerialFlash(0x40000, sizeof back, back);
    bool erased = true;
    for (uint8_t b : back) erased &= b == 0xFF;
    check(erased, "erase");
    for (uint32_t i = 0; i < sizeof page; i++) page[i] = (uint8_t)(i * 3);
    WriteSerialFlash(0x40100, sizeof page, page);
    ReadSerialFlash(0x40100, sizeof back, back);
    check(memcmp(page, back, sizeof page) == 0, "program");
    // Programming only clears bits.
    uint8_t ff = 0xF0;
    WriteSerialFlash(0x40101, 1, &ff);
    ReadSerialFlash(0x40101, 1, back);
    check(back[0] == (uint8_t)(3 & 0xF0), "program set bits");
    // Without the write-enable latch nothing changes.
    bsp_flash_select(1);
    bsp_flash_xfer(0x02);
    bsp_flash_xfer(0x04);
    bsp_flash_xfer(0x02);
    bsp_flash_xfer(0x00);
    bsp_flash_xfer(0x00);
    bsp_flash_select(0);
    ReadSerialFlash(0x40200, 1, back);
    check(back[0] == 0xFF, "program without write enable");
    // A write wraps inside its page.
    uint8_t two[2] = {0x11, 0x22};
    WriteSerialFlash(0x402FF, 2, two);
    ReadSerialFlash(0x402FF, 1, back);
    ReadSerialFlash(0x40200, 1, back + 1);
    check(back[0] == 0x11 && back[1] == 0x22, "page wrap");
    // Busy shows once after a program, then clears.
    WriteSerialFlash(0x40300, 1, two);
    check((SerialFlashStatus() & 1) == 0, "still busy after the wait");
    verdict("sf");
}

static void testFormat(const char *args) {
    int d = 0;
    unsigned x = 0;
    unsigned long lx = 0;
    char s[16] = "";
    char c = 0;
    int n = sscanf(args, "%d %x %lx %15s %c", &d, &x, &lx, s, &c);
    snprintf(out, sizeof out, "fmt %d: %d %04X %lx %08lX [%s] %c %+05d %-4d| %3s|", n, d, x, lx, lx, s, c, d,
             d, s);
    reply(out);
}

static void fillScreen(uint16_t w, uint16_t h) {
    uint16_t *fb = (uint16_t *)bsp_mem(BSP_VIDEORAM_BASE, (uint32_t)w * h * 2);
    static const uint16_t bars[4] = {0xF800, 0x07E0, 0x001F, 0xFFFF};
    for (uint32_t y = 0; y < h; y++)
        for (uint32_t x = 0; x < w; x++)
            fb[y * w + x] = y < h / 2 ? bars[x * 4 / w] : (uint16_t)(x * 0x0841u / w);
}

static void testUnaligned(void) {
    static uint32_t words[2] = {0x11223344u, 0x55667788u};
    static volatile uintptr_t offset = 1; // out of the compiler's sight: a plain word load
    volatile uint32_t *p = (volatile uint32_t *)((uintptr_t)words + offset);
    snprintf(out, sizeof out, "read %08lX", (unsigned long)*p);
    reply(out);
}

int main(void) {
    interrupt_init();
    bsp_timer_start();
    interrupt_set_isr(BSP_IRQ_TICK, tickIsr);
    interrupt_enable(BSP_IRQ_TICK, 0);
    InitSerialFlash();
    InitI2C();
    bsp_uart_init(0);
    bsp_uart_init(1);
    interrupt_set_isr(BSP_IRQ_UART0_RX, rx0Isr);
    interrupt_set_isr(BSP_IRQ_UART0_TX, tx0Isr);
    interrupt_set_isr(BSP_IRQ_UART1_RX, rx1Isr);
    interrupt_set_isr(BSP_IRQ_UART1_TX, tx1Isr);
    for (int s = BSP_IRQ_UART0_RX; s <= BSP_IRQ_UART1_TX; s++) interrupt_enable(s, 0);
    bsp_uart_rx_irq(0, 1);
    bsp_uart_rx_irq(1, 1);
    bsp_lcd_timing(40, 48, 40, 13, 3, 29);
    bsp_lcd_setup(BSP_VIDEORAM_BASE, 800, 480);

    snprintf(out, sizeof out, "boardtest data %08lX bss %08lX", (unsigned long)dataWord,
             (unsigned long)bssWord);
    reply(out);
    dataWord = dataWord + 1;
    bssWord = bssWord + 1;

    for (;;) {
        readLine();
        unsigned a = 0, v = 0, w = 0, h = 0;
        if (!strcmp(line, "tick")) {
            testTick();
        } else if (sscanf(line, "delay %u", &a) == 1) {
            testBusyWait(a);
        } else if (!strcmp(line, "mem")) {
            testMemoryMap();
        } else if (!strcmp(line, "ee")) {
            testEeprom();
        } else if (sscanf(line, "eeset %x %x", &a, &v) == 2) {
            EEpromWrite((uint16_t)a, (uint8_t)v);
            reply("eeset ok");
        } else if (sscanf(line, "eeget %x", &a) == 1) {
            snprintf(out, sizeof out, "eeget %02X", EEpromRead((uint16_t)a));
            reply(out);
        } else if (!strcmp(line, "sf")) {
            testFlash();
        } else if (!strncmp(line, "fmt ", 4)) {
            testFormat(line + 4);
        } else if (sscanf(line, "lcd %u %u", &w, &h) == 2) {
            bsp_lcd_setup(BSP_VIDEORAM_BASE, (uint16_t)w, (uint16_t)h);
            fillScreen((uint16_t)w, (uint16_t)h);
            bsp_panel_supply(1);
            LCD_sigs_active();
            reply("lcd ok");
        } else if (!strcmp(line, "lcdoff")) {
            LCD_sigs_low();
            reply("lcdoff ok");
        } else if (sscanf(line, "flood %u", &a) == 1) {
            for (uint32_t i = 0; i < a; i++) put(0, (uint8_t)('a' + i % 26));
            reply("");
        } else if (sscanf(line, "burst %u", &a) == 1) {
            // Sum and count of the next a bytes, arriving as fast as the host sends them.
            uint32_t sum = 0;
            for (uint32_t i = 0; i < a; i++) {
                int c;
                while ((c = get(0)) < 0) bsp_wait_for_interrupt();
                sum = sum * 31 + (uint32_t)c;
            }
            snprintf(out, sizeof out, "burst %u %08lX", a, (unsigned long)sum);
            reply(out);
        } else if (!strncmp(line, "u1 ", 3)) {
            putText(1, line + 3);
            put(1, '\r');
            drain(1);
            reply("u1 ok");
        } else if (!strcmp(line, "reset")) {
            drain(0);
            bsp_watchdog_reset();
        } else if (!strcmp(line, "fatal")) {
            drain(0);
            bsp_fatal("requested");
        } else if (!strcmp(line, "unclaimed")) {
            drain(0);
            interrupt_set_isr(BSP_IRQ_TICK, nullptr);
        } else if (!strcmp(line, "unaligned")) {
            drain(0);
            testUnaligned();
        } else if (!strncmp(line, "echo ", 5)) {
            reply(line + 5);
        } else {
            reply("?");
        }
    }
}
