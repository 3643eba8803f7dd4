// Transmit side: replies, notices (held back in RS485 mode), formatted messages, single bytes and
// raw byte strings on the main port, the aux port's pair, and the transmit interrupts.
#include "board/bsp/bsp.h"
#include "board/services/timer.h"
#include "serial/rs485.h"
#include "serial/serial.h"
#include "serial/serial_local.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

char txBuf[TX_BUF_SIZE];
const char *volatile txPtr = txBuf;
volatile uint8_t txBusy;
const char *volatile aTxPtr;
volatile uint8_t aTxBusy;
char rs485prefix[4]; // built by Init_485mode
uint8_t stringSent;
uint8_t binaryResponses;

static int auxPort(void) {
    return mainIsUart0 ? 1 : 0;
}

// ---- transmit interrupts -----------------------------------------------------------------------

void uart0MainTxIsr(void) {
    const char *p = txPtr;
    if (*p) {
        bsp_uart_write(0, (uint8_t)*p);
        txPtr = p + 1;
        return;
    }
    bsp_uart_tx_irq(0, 0);
    txBusy = 0;
    stopHostIfFull(0);
}

// UART1 drives the RS485 transceiver: the line is released only when the last bit has left.
void uart1MainTxIsr(void) {
    const char *p = txPtr;
    if (*p) {
        bsp_uart_write(1, (uint8_t)*p);
        txPtr = p + 1;
        return;
    }
    if (!bsp_uart_tx_empty(1)) return;
    bsp_uart_tx_irq(1, 0);
    txBusy = 0;
    bsp_rs485_txen(0);
    stopHostIfFull(1);
}

void uart0AuxTxIsr(void) {
    const char *p = aTxPtr;
    if (*p) {
        bsp_uart_write(0, (uint8_t)*p);
        aTxPtr = p + 1;
        return;
    }
    bsp_uart_tx_irq(0, 0);
    aTxBusy = 0;
}

void uart1AuxTxIsr(void) {
    const char *p = aTxPtr;
    if (*p) {
        bsp_uart_write(1, (uint8_t)*p);
        aTxPtr = p + 1;
        return;
    }
    if (!bsp_uart_tx_empty(1)) return;
    bsp_uart_tx_irq(1, 0);
    aTxBusy = 0;
    bsp_rs485_txen(0);
}

// ---- main port ---------------------------------------------------------------------------------

// A host that sent XOFF gets at most 100 ms before the message goes out anyway.
static void waitForHostXon(void) {
    if (!xoff) return;
    for (int step = 0; step < 20 && xoff; step++) QV_Delay(5);
    xoff = 0;
}

// Sends txBuf through the transmit interrupt and waits until its last byte is in the UART.
static void sendTxBuf(void) {
    int port = mainPort();
    bsp_uart_wait_tx_ready(port);
    uint32_t s = bsp_irq_save();
    txBusy = 1;
    txPtr = txBuf;
    bsp_uart_tx_irq(port, 1);
    bsp_irq_restore(s);
    while (txBusy) bsp_wait_for_interrupt();
    txBuf[0] = 0;
    stringSent++;
}

static size_t copyCut(char *dst, const char *src, size_t max) {
    size_t n = 0;
    while (n < max && src[n]) {
        dst[n] = src[n];
        n++;
    }
    dst[n] = 0;
    return n;
}

void txString(const char *text) {
    if (!text) text = "";
    waitForHostXon();
    if (!mainIsUart0) bsp_rs485_txen(1);
    if (rs485Active()) {
        if (anythingToTx()) txSavedBuf();
        memcpy(txBuf, rs485prefix, 3);
        copyCut(txBuf + 3, text, TX_MAX - 3);
    } else {
        copyCut(txBuf, text, TX_MAX);
    }
    sendTxBuf();
}

void txNotify(const char *text) {
    if (!rs485Active()) {
        txString(text);
        return;
    }
    if (!text) return;
    // Held until the host addresses or polls this display; what does not fit is dropped.
    size_t held = strlen(txBuf), n = strlen(text);
    if (held + 3 + n >= TX_BUF_SIZE) return;
    memcpy(txBuf + held, rs485prefix, 3);
    memcpy(txBuf + held + 3, text, n + 1);
}

static void vformatAndSend(void (*send)(const char *), const char *format, va_list ap) {
    char buf[POUT_BUF_SIZE];
    vsnprintf(buf, sizeof buf, format, ap);
    send(buf);
}

void pout(const char *format, ...) {
    va_list ap;
    va_start(ap, format);
    vformatAndSend(txNotify, format, ap);
    va_end(ap);
}

void perr(const char *format, ...) {
    va_list ap;
    va_start(ap, format);
    vformatAndSend(txString, format, ap);
    va_end(ap);
}

void txSavedBuf(void) {
    if (!txBuf[0]) return;
    if (!mainIsUart0) bsp_rs485_txen(1);
    sendTxBuf();
}

int anythingToTx(void) {
    return txBuf[0] != 0;
}

void txWait(void) {
    int port = mainPort();
    bsp_uart_wait_tx_empty(port);
}

// Polled output. txBusy is held meanwhile so that the receive interrupt does not put an XOFF in
// between the bytes.
static void pollBytes(int port, const uint8_t *bytes, int n) {
    if (port == 1) bsp_rs485_txen(1);
    for (int i = 0; i < n; i++) {
        bsp_uart_wait_tx_ready(port);
        bsp_uart_write(port, bytes[i]);
    }
    if (port == 1) {
        bsp_uart_wait_tx_empty(1);
        bsp_rs485_txen(0);
    }
}

void txChar(uint8_t c) {
    txBusy = 1;
    pollBytes(mainPort(), &c, 1);
    txBusy = 0;
}

void txBinary(const uint8_t *bytes, int n) {
    if (n > TX_BUF_SIZE) {
        txString(":internal error txBinary()\r");
        return;
    }
    if (n <= 0) return;
    txBusy = 1;
    pollBytes(mainPort(), bytes, n);
    txBusy = 0;
    stopHostIfFull(mainPort());
}

// ---- aux port ----------------------------------------------------------------------------------

void aTxString(const char *text) {
    if (!text || !*text) return;
    int port = auxPort();
    if (port == 1) bsp_rs485_txen(1);
    bsp_uart_wait_tx_ready(port);
    uint32_t s = bsp_irq_save();
    aTxBusy = 1;
    aTxPtr = text;
    bsp_uart_tx_irq(port, 1);
    bsp_irq_restore(s);
    while (aTxBusy) bsp_wait_for_interrupt();
}

void aTxBinary(const uint8_t *bytes, int n) {
    if (n > TX_BUF_SIZE) {
        txString(":internal error aTxBinary()\r");
        return;
    }
    if (n <= 0) return;
    pollBytes(auxPort(), bytes, n);
}
