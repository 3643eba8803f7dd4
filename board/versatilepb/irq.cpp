// Interrupts on the PL190: the firmware's logical sources, their handlers, the dispatcher, and the
// ends of the run (faults, fatal errors).
//
// The controller's lines are shared: both logical sources of a UART arrive on its one line, and the
// dispatcher asks the UART which of them is pending. Sources without a line on this machine can be
// enabled but never fire.
#include "board/bsp/bsp.h"
#include "board/versatilepb/vpb.h"

enum : uint32_t {
    VIC_IRQSTATUS = VPB_VIC + 0x000u,
    VIC_FIQSTATUS = VPB_VIC + 0x004u,
    VIC_INTSELECT = VPB_VIC + 0x00Cu,
    VIC_INTENABLE = VPB_VIC + 0x010u,
    VIC_INTENCLEAR = VPB_VIC + 0x014u,
    VIC_SOFTINT = VPB_VIC + 0x018u,
    VIC_SOFTINTCLEAR = VPB_VIC + 0x01Cu,
    TIMER0_MIS = VPB_TIMER01 + 0x14u,
};

static bsp_isr_t handlers[BSP_IRQ_SOURCES];
static uint32_t enabled[2]; // one bit per logical source
static uint32_t fast[2];

static int lineOf(int source) {
    switch (source) {
    case BSP_IRQ_TICK:
        return VPB_LINE_TIMER01;
    case BSP_IRQ_UART0_RX:
    case BSP_IRQ_UART0_TX:
        return VPB_LINE_UART0;
    case BSP_IRQ_UART1_RX:
    case BSP_IRQ_UART1_TX:
        return VPB_LINE_UART1;
    default:
        return -1;
    }
}

static int bitOf(const uint32_t *set, int source) {
    return (set[source >> 5] >> (source & 31)) & 1;
}
static void setBit(uint32_t *set, int source, int on) {
    uint32_t mask = 1u << (source & 31);
    if (on)
        set[source >> 5] |= mask;
    else
        set[source >> 5] &= ~mask;
}

int vpbSourceEnabled(int source) {
    return bitOf(enabled, source);
}

// A line is on while any of its sources is enabled; it is a fast interrupt when one of them is.
static void updateLine(int line) {
    int on = 0, isFast = 0;
    for (int s = 0; s < BSP_IRQ_SOURCES; s++) {
        if (lineOf(s) != line || !bitOf(enabled, s)) continue;
        on = 1;
        isFast |= bitOf(fast, s);
    }
    uint32_t mask = 1u << line;
    if (!on) {
        vpbReg(VIC_INTENCLEAR) = mask;
        return;
    }
    if (isFast)
        vpbReg(VIC_INTSELECT) |= mask;
    else
        vpbReg(VIC_INTSELECT) &= ~mask;
    vpbReg(VIC_INTENABLE) = mask;
}

static void sourceChanged(int source) {
    int line = lineOf(source);
    if (line < 0) return;
    uint32_t saved = bsp_irq_save();
    updateLine(line);
    if (line == VPB_LINE_UART0) vpbUartUpdate(0);
    if (line == VPB_LINE_UART1) vpbUartUpdate(1);
    bsp_irq_restore(saved);
}

void vpbLineSoftPending(int line, int on) {
    vpbReg(on ? VIC_SOFTINT : VIC_SOFTINTCLEAR) = 1u << line;
}

void interrupt_init(void) {
    bsp_irq_save();
    vpbReg(VIC_INTENCLEAR) = 0xFFFFFFFFu;
    vpbReg(VIC_SOFTINTCLEAR) = 0xFFFFFFFFu;
    vpbReg(VIC_INTSELECT) = 0;
    for (int s = 0; s < BSP_IRQ_SOURCES; s++) handlers[s] = nullptr;
    enabled[0] = enabled[1] = fast[0] = fast[1] = 0;
    bsp_irq_restore(0); // both interrupt kinds on
}

void interrupt_set_isr(int source, bsp_isr_t handler) {
    if (source < 0 || source >= BSP_IRQ_SOURCES) return;
    handlers[source] = handler;
}

void interrupt_enable(int source, int isFast) {
    if (source < 0 || source >= BSP_IRQ_SOURCES) return;
    setBit(enabled, source, 1);
    setBit(fast, source, isFast != 0);
    sourceChanged(source);
}

void interrupt_disable(int source) {
    if (source < 0 || source >= BSP_IRQ_SOURCES) return;
    setBit(enabled, source, 0);
    sourceChanged(source);
}

uint32_t bsp_irq_save(void) {
    uint32_t state, masked;
    __asm__ volatile("mrs %0, cpsr\n\t"
                     "orr %1, %0, #0xC0\n\t"
                     "msr cpsr_c, %1"
                     : "=r"(state), "=r"(masked)
                     :
                     : "memory");
    return state;
}

void bsp_irq_restore(uint32_t state) {
    uint32_t cpsr;
    __asm__ volatile("mrs %0, cpsr\n\t"
                     "bic %0, %0, #0xC0\n\t"
                     "and %1, %1, #0xC0\n\t"
                     "orr %0, %0, %1\n\t"
                     "msr cpsr_c, %0"
                     : "=&r"(cpsr), "+r"(state)
                     :
                     : "memory");
}

// The ARM926's wait for interrupt (a coprocessor operation on this core). It also wakes with
// interrupts masked, so a caller may test its condition with interrupts off and sleep.
void bsp_wait_for_interrupt(void) {
    __asm__ volatile("mcr p15, 0, %0, c7, c0, 4" : : "r"(0) : "memory");
}

void bsp_idle(void) {
    bsp_wait_for_interrupt();
}

// ---------------------------------------------------------------------------------------------
// Dispatch.

static void putText(const char *s) {
    while (*s) vpbUartPutcPolled(*s++);
}

static void putHex(uint32_t v) {
    putText("0x");
    for (int shift = 28; shift >= 0; shift -= 4) vpbUartPutcPolled("0123456789ABCDEF"[(v >> shift) & 15]);
}

static void putDec(uint32_t v) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = (char)('0' + v % 10);
        v /= 10;
    } while (v);
    while (n) vpbUartPutcPolled(digits[--n]);
}

[[noreturn]] static void halt(void) {
    vpbQuiesce();
    for (;;) bsp_wait_for_interrupt();
}

[[noreturn]] static void fatalSource(const char *what, uint32_t number) {
    bsp_irq_save();
    putText("\r:FATAL: ");
    putText(what);
    putDec(number);
    putText("\r");
    halt();
}

void vpbRunHandler(int source) {
    bsp_isr_t h = handlers[source];
    if (!h) fatalSource("unclaimed interrupt ", (uint32_t)source);
    h();
}

static void dispatch(uint32_t lines) {
    while (lines) {
        int line = __builtin_ctz(lines);
        lines &= lines - 1;
        switch (line) {
        case VPB_LINE_TIMER01:
            if (vpbReg(TIMER0_MIS) & 1) vpbRunHandler(BSP_IRQ_TICK);
            break;
        case VPB_LINE_UART0:
            vpbUartService(0);
            break;
        case VPB_LINE_UART1:
            vpbUartService(1);
            break;
        default:
            fatalSource("unexpected interrupt line ", (uint32_t)line);
        }
    }
}

extern "C" void board_irq_dispatch(void) {
    dispatch(vpbReg(VIC_IRQSTATUS));
}
extern "C" void board_fiq_dispatch(void) {
    dispatch(vpbReg(VIC_FIQSTATUS));
}

// ---------------------------------------------------------------------------------------------
// Ends of the run.

void vpbQuiesce(void) {
    bsp_irq_save();
    vpbReg(VIC_INTENCLEAR) = 0xFFFFFFFFu;
    vpbReg(VIC_SOFTINTCLEAR) = 0xFFFFFFFFu;
    vpbReg(VPB_TIMER01 + 0x08u) = 0; // timer 0 stopped
    vpbReg(VPB_TIMER01 + 0x0Cu) = 1;
    vpbReg(VPB_UART0 + 0x38u) = 0; // UART interrupt masks
    vpbReg(VPB_UART1 + 0x38u) = 0;
}

void bsp_fatal(const char *what) {
    bsp_irq_save();
    putText("\r:FATAL: ");
    putText(what ? what : "?");
    putText("\r");
    halt();
}

extern "C" void board_exception(uint32_t kind, uint32_t pc) {
    static const char *const names[] = {"?", "undefined instruction", "software interrupt", "prefetch abort",
                                        "data abort"};
    putText("\r:FATAL: ");
    putText(names[kind < 5 ? kind : 0]);
    putText(" at ");
    putHex(pc);
    if (kind == 4) {
        uint32_t far, fsr;
        __asm__ volatile("mrc p15, 0, %0, c6, c0, 0" : "=r"(far));
        __asm__ volatile("mrc p15, 0, %0, c5, c0, 0" : "=r"(fsr));
        putText((fsr & 0xF) == 1 || (fsr & 0xF) == 3 ? ", unaligned access to " : ", address ");
        putHex(far);
    }
    putText("\r");
    halt();
}

extern "C" void board_main_returned(void) {
    bsp_fatal("main returned");
}
