// Binary transfers: for their duration the main port's receive interrupt stores every byte as it
// is, so that no value (CR, XON, XOFF, lead bytes) has a meaning; flow control still stops a fast
// host at 384 bytes held and lets it go again at 128.
#include "board/bsp/bsp.h"
#include "board/services/timer.h"
#include "serial/rs485.h"
#include "serial/serial.h"
#include "serial/serial_local.h"

static inline void binRxByte(int port, uint8_t b) {
    if (!txBusy) stopHostIfFull(port);
    if (rxCount >= RX_BUF_SIZE) {
        bufferOverflow = 1;
        return;
    }
    rxStoreRaw(b);
}

static void uart0BinRxIsr(void) {
    binRxByte(0, bsp_uart_read(0));
}

static void uart1BinRxIsr(void) {
    binRxByte(1, bsp_uart_read(1));
}

static void installMainRx(void (*isr)(void)) {
    int source = mainIsUart0 ? BSP_IRQ_UART0_RX : BSP_IRQ_UART1_RX;
    interrupt_disable(source);
    interrupt_set_isr(source, isr);
    interrupt_enable(source, 0);
}

static void emptyRing(void) {
    rxHead = rxBuf;
    rxTail = rxBuf;
    rxCount = 0;
    rxGotLine = 0;
    binaryMode = 0;
    bufferOverflow = 0;
    rxError = 0;
}

void makeUartBinMain(void) {
    uint32_t s = bsp_irq_save();
    installMainRx(mainIsUart0 ? uart0BinRxIsr : uart1BinRxIsr);
    emptyRing();
    bsp_irq_restore(s);
}

void restoreUartBinMain(void) {
    uint32_t s = bsp_irq_save();
    installMainRx(mainIsUart0 ? uart0MainRxIsr : uart1MainRxIsr);
    emptyRing();
    startCmd = 1;
    bsp_irq_restore(s);
    rxReset(); // a host still stopped gets its XON
}

// An XOFF that fell due while the byte was being handed over goes out right behind it, not with
// the next byte from the host (which a host about to pause may never send).
void binTxChar(uint8_t c) {
    txChar(c);
    int port = mainPort();
    bsp_uart_wait_tx_ready(port);
    stopHostIfFull(port);
}

void binFlowControl(void) {
    if (rxStopped && rxCount <= RX_XON_LEVEL && !txBusy && !rs485Active()) {
        rxStopped = 0;
        binTxChar(CH_XON);
    }
}

int binAbandon(uint32_t quietMs) {
    binDrain(quietMs);
    restoreUartBinMain();
    return 0;
}

void binDrain(uint32_t quietMs) {
    gpTimer = quietMs;
    while (gpTimer) {
        binFlowControl();
        if (rxCount) {
            uint32_t s = bsp_irq_save();
            emptyRing();
            bsp_irq_restore(s);
            gpTimer = quietMs;
        }
        bsp_wait_for_interrupt();
    }
}
