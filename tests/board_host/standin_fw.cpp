// A small stand-in firmware for the board tests: interrupt-driven UART0 with echo, the 1 ms tick,
// busy-wait delays on the free-running count, and line commands that exercise the board.
// Built into an archive named libzefo_fw.a so that firmware_sections.ld gathers its data.
#include <stdio.h>
#include <string.h>

#include "board/bsp/bsp.h"
#include "tests/board_host/standin.h"

// Data the reset test looks at.
int fwInitialised = 1234;
char fwText[16] = "power-on";
int fwCounter;
volatile uint32_t fwTicks;
volatile uint8_t mainIsUart0 = 1;

static volatile uint8_t rxRing[1024];
static volatile uint32_t rxHead, rxTail;
static volatile uint8_t txRing[4096];
static volatile uint32_t txHead, txTail;
static volatile uint8_t auxRing[256];
static volatile uint32_t auxHead, auxTail;
static char line[200];
static int lineLen;
static volatile uint32_t holdCount; // bytes received while the host was told to stop

static void tick(void) {
    fwTicks = fwTicks + 1;
    bsp_timer_ack();
}

static void rx0(void) {
    uint8_t b = bsp_uart_read(0);
    rxRing[rxHead % sizeof rxRing] = b;
    rxHead = rxHead + 1;
    holdCount = holdCount + 1;
}

static void rx1(void) {
    uint8_t b = bsp_uart_read(1);
    auxRing[auxHead % sizeof auxRing] = b;
    auxHead = auxHead + 1;
}

static void tx0(void) {
    if (txTail != txHead) {
        bsp_uart_write(0, txRing[txTail % sizeof txRing]);
        txTail = txTail + 1;
    } else {
        bsp_uart_tx_irq(0, 0);
    }
}

static void put(uint8_t c) {
    while (txHead - txTail >= sizeof txRing) bsp_wait_for_interrupt();
    uint32_t s = bsp_irq_save();
    txRing[txHead % sizeof txRing] = c;
    txHead = txHead + 1;
    bsp_irq_restore(s);
    bsp_uart_tx_irq(0, 1);
}

static void say(const char *s) {
    while (*s) put((uint8_t)*s++);
}

static void drain(void) {
    while (txHead != txTail || !bsp_uart_tx_empty(0)) bsp_wait_for_interrupt();
}

// The firmware's own delay: whole milliseconds of timer counts, read until two reads agree.
static uint32_t rawCount(void) {
    uint32_t a = bsp_timer_count();
    for (;;) {
        uint32_t b = bsp_timer_count();
        if ((b - a + BSP_TIMER_PERIOD) % BSP_TIMER_PERIOD <= 4) return b;
        a = b;
    }
}

static void delayMs(uint32_t ms) {
    uint32_t want = ms * BSP_TIMER_PERIOD, passed = 0, last = rawCount();
    while (passed < want) {
        uint32_t n = rawCount();
        passed += (n - last + BSP_TIMER_PERIOD) % BSP_TIMER_PERIOD;
        last = n;
    }
}

static int number(const char **p) {
    int v = 0, neg = 0;
    while (**p == ' ') (*p)++;
    if (**p == '-') {
        neg = 1;
        (*p)++;
    }
    if ((*p)[0] == '0' && (*p)[1] == 'x') {
        *p += 2;
        for (;;) {
            char c = **p;
            int d = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
            if (d < 0) break;
            v = v * 16 + d;
            (*p)++;
        }
    } else {
        while (**p >= '0' && **p <= '9') v = v * 10 + (*(*p)++ - '0');
    }
    return neg ? -v : v;
}

// Recursion without end, through a pointer the compiler cannot see through.
static int (*volatile again)(int);
static int recurse(int n) {
    volatile char pad[256];
    pad[0] = (char)n;
    return again(n + 1) + pad[0];
}

static void command(const char *cmd) {
    char out[128];
    const char *p = cmd;
    if (!strcmp(cmd, "t")) {
        snprintf(out, sizeof out, "T=%u\r", (unsigned)fwTicks);
        say(out);
    } else if (!strcmp(cmd, "reset")) {
        drain();
        bsp_watchdog_reset();
    } else if (!strcmp(cmd, "fatal")) {
        bsp_fatal("stand-in gave up");
    } else if (!strcmp(cmd, "segv")) {
        // An address the compiler cannot see through: a write to an unmapped page.
        volatile uintptr_t bad = 16;
        *(volatile int *)bad = 1;
    } else if (!strcmp(cmd, "deep")) {
        again = recurse;
        recurse(0);
    } else if (!strcmp(cmd, "irq")) {
        // UART1's transmit interrupt (its transmitter is empty) on, with no handler installed.
        bsp_uart_tx_irq(1, 1);
        interrupt_enable(BSP_IRQ_UART1_TX, 0);
    } else if (!strcmp(cmd, "reg")) {
        bsp_reg_write32(BSP_REGISTER_BASE + 8, 0xCAFEF00Du);
        snprintf(out, sizeof out, "R=%08X %04X\r", (unsigned)bsp_reg_read32(BSP_REGISTER_BASE + 8),
                 (unsigned)bsp_reg_read16(BSP_REGISTER_BASE + 10));
        say(out);
        bsp_reg_read32(0x00300000);
    } else if (!strcmp(cmd, "data")) {
        snprintf(out, sizeof out, "D=%d %s %d\r", fwInitialised, fwText, fwCounter);
        say(out);
        fwInitialised++;
        fwCounter++;
        strcpy(fwText, "changed");
    } else if (!strncmp(cmd, "eew ", 4)) {
        p += 4;
        int a = number(&p), v = number(&p);
        EEpromWrite((uint16_t)a, (uint8_t)v);
        say("ok\r");
    } else if (!strncmp(cmd, "eer ", 4)) {
        p += 4;
        int a = number(&p);
        snprintf(out, sizeof out, "E=%02X\r", EEpromRead((uint16_t)a));
        say(out);
    } else if (!strncmp(cmd, "baud ", 5)) {
        p += 5;
        int rate = number(&p);
        say("ok\r");
        drain();
        bsp_uart_set_baud(0, (uint32_t)rate);
    } else if (!strncmp(cmd, "burst ", 6)) {
        p += 6;
        int n = number(&p);
        for (int i = 0; i < n; i++) put((uint8_t)('a' + i % 26));
    } else if (!strncmp(cmd, "hold ", 5)) {
        // Tell the host to stop, wait, count what still came, then let it go on.
        p += 5;
        int ms = number(&p);
        put(0x13);
        drain();
        holdCount = 0;
        delayMs((uint32_t)ms);
        uint32_t got = holdCount;
        put(0x11);
        snprintf(out, sizeof out, "H=%u\r", (unsigned)got);
        say(out);
    } else if (!strncmp(cmd, "px ", 3)) {
        p += 3;
        int x = number(&p), y = number(&p), c = number(&p);
        uint16_t *fb = (uint16_t *)bsp_mem(BSP_VIDEORAM_BASE, 800 * 480 * 2);
        fb[y * 800 + x] = (uint16_t)c;
    } else if (!strncmp(cmd, "duty ", 5)) {
        p += 5;
        bsp_backlight_duty((uint8_t)number(&p));
    } else if (!strncmp(cmd, "supply ", 7)) {
        p += 7;
        bsp_panel_supply(number(&p));
    } else if (!strcmp(cmd, "aux")) {
        snprintf(out, sizeof out, "A=%u:", (unsigned)(auxHead - auxTail));
        say(out);
        while (auxTail != auxHead) {
            put(auxRing[auxTail % sizeof auxRing]);
            auxTail = auxTail + 1;
        }
        say("\r");
    } else if (!strcmp(cmd, "swap")) {
        mainIsUart0 = 0;
        say("ok\r");
    } else if (!strncmp(cmd, "touch", 5)) {
        uint16_t x = bsp_touch_convert(0xD3), y = bsp_touch_convert(0x93);
        uint16_t z1 = bsp_touch_convert(0xBA), z2 = bsp_touch_convert(0xCA);
        snprintf(out, sizeof out, "P=%d X=%u Y=%u Z=%u,%u\r", bsp_touch_pen_down(), x, y, z1, z2);
        say(out);
    } else if (!strcmp(cmd, "ms")) {
        snprintf(out, sizeof out, "M=%u\r", (unsigned)fwTicks);
        say(out);
    } else if (cmd[0]) {
        say("?\r");
    }
}

static void handle(uint8_t b) {
    put(b); // echo
    if (b == '\r') {
        line[lineLen] = 0;
        lineLen = 0;
        command(line);
        return;
    }
    if (lineLen < (int)sizeof line - 1) line[lineLen++] = (char)b;
}

int standin_main(void) {
    bsp_clock_init();
    interrupt_init();
    bsp_timer_start();
    interrupt_set_isr(BSP_IRQ_TICK, tick);
    interrupt_enable(BSP_IRQ_TICK, 0);
    bsp_lcd_setup(BSP_VIDEORAM_BASE, 800, 480);
    // A panel with its supply, its signals and the backlight on: the window shows the frame buffer.
    bsp_panel_supply(1);
    LCD_sigs_active();
    bsp_inverter_enable_line(1);
    bsp_backlight_pwm_enable(1);
    bsp_backlight_duty(255); // full brightness on the first panel's inverter
    bsp_uart_init(0);
    if (standinRate) bsp_uart_set_baud(0, standinRate);
    interrupt_set_isr(BSP_IRQ_UART0_RX, rx0);
    interrupt_set_isr(BSP_IRQ_UART0_TX, tx0);
    interrupt_enable(BSP_IRQ_UART0_RX, 0);
    interrupt_enable(BSP_IRQ_UART0_TX, 0);
    bsp_uart_rx_irq(0, 1);
    bsp_uart_init(1);
    interrupt_set_isr(BSP_IRQ_UART1_RX, rx1);
    interrupt_enable(BSP_IRQ_UART1_RX, 0);
    bsp_uart_rx_irq(1, 1);
    delayMs(standinDelayMs);
    Led(1);
    say("ready\r");
    for (;;) {
        if (rxTail != rxHead) {
            uint8_t b = rxRing[rxTail % sizeof rxRing];
            rxTail = rxTail + 1;
            handle(b);
        } else {
            bsp_idle();
        }
    }
}

// The program's entry, as the firmware's main is in the real build.
int firmware_main(void) {
    return standin_main();
}
