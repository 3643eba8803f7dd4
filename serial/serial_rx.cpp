// Receive side: port roles and rates, the receive interrupts of both roles, the 512-byte main ring
// with its line assembly and flow control, and the 129-byte aux ring.
#include "board/bsp/bsp.h"
#include "serial/rs485.h"
#include "serial/serial.h"
#include "serial/serial_local.h"
#include "settings/settings.h"

#include <string.h>

volatile uint8_t mainIsUart0 = 1;
uint8_t prevMain;
uint32_t baudrate0 = 115200, baudrate1 = 115200;
static uint8_t rolesAtPowerUp;

uint8_t rxBuf[RX_BUF_SIZE];
uint8_t *volatile rxHead = rxBuf;
uint8_t *volatile rxTail = rxBuf;
volatile uint32_t rxCount;
volatile uint32_t rxGotLine;
volatile uint32_t debugGotLine;
volatile uint8_t binaryMode;
volatile uint8_t binaryEnable = 1;
uint8_t binaryDisable;
volatile uint8_t startCmd = 1;
volatile uint8_t bufferOverflow;
volatile uint8_t rxStopped;
volatile uint8_t rxError;
volatile uint8_t xoff;

uint8_t aRxBuf[AUX_BUF_SIZE];
static volatile uint32_t aRxHead; // written by the aux interrupt
static uint32_t aRxTail;          // moved by the main loop only
volatile uint32_t aRxCount;
volatile uint8_t auxEscCnt;

static uint8_t *const rxEnd = rxBuf + RX_BUF_SIZE;

// ---- ports, roles, rates -----------------------------------------------------------------------

int mainPort(void) {
    return mainIsUart0 ? 0 : 1;
}

void serialRolesSettled(void) {
    rolesAtPowerUp = 0;
}

static const int uartSources[4] = {BSP_IRQ_UART0_RX, BSP_IRQ_UART0_TX, BSP_IRQ_UART1_RX, BSP_IRQ_UART1_TX};

// Installs the handlers of the current roles with both UARTs' interrupts off; the rings stay.
static void installRoles(void) {
    for (int s : uartSources) interrupt_disable(s);
    if (mainIsUart0) {
        interrupt_set_isr(BSP_IRQ_UART0_RX, uart0MainRxIsr);
        interrupt_set_isr(BSP_IRQ_UART0_TX, uart0MainTxIsr);
        interrupt_set_isr(BSP_IRQ_UART1_RX, uart1AuxRxIsr);
        interrupt_set_isr(BSP_IRQ_UART1_TX, uart1AuxTxIsr);
    } else {
        interrupt_set_isr(BSP_IRQ_UART0_RX, uart0AuxRxIsr);
        interrupt_set_isr(BSP_IRQ_UART0_TX, uart0AuxTxIsr);
        interrupt_set_isr(BSP_IRQ_UART1_RX, uart1MainRxIsr);
        interrupt_set_isr(BSP_IRQ_UART1_TX, uart1MainTxIsr);
    }
    for (int s : uartSources) interrupt_enable(s, 0);
}

static void switchRoles(uint8_t toUart0) {
    if (rolesAtPowerUp)
        prevMain = toUart0 ? 0 : 1;
    else
        prevMain = mainIsUart0 ? 0 : 1;
    mainIsUart0 = toUart0;
    installRoles();
}

void makeUart0Main(void) {
    switchRoles(1);
}
void makeUart1Main(void) {
    switchRoles(0);
}

static uint32_t rateWithCode(uint32_t rate) {
    return QV_EEPROM_Rate2eeVal(rate) == 0xFF ? 115200u : rate;
}

uint32_t QV_COM_BaudRate(uint32_t rate) {
    rate = rateWithCode(rate);
    bsp_uart_set_baud(0, rate);
    baudrate0 = rate;
    return rate;
}

uint32_t QV_AUX_BaudRate(uint32_t rate) {
    rate = rateWithCode(rate);
    bsp_uart_set_baud(1, rate);
    baudrate1 = rate;
    return rate;
}

uint32_t serialSetRate(int port, uint32_t rate) {
    return port == 0 ? QV_COM_BaudRate(rate) : QV_AUX_BaudRate(rate);
}

uint32_t QV_COM_getBaud(int port) {
    return port == 0 ? baudrate0 : baudrate1;
}

static uint32_t configuredRate(uint16_t offset) {
    return QV_EEPROMvalid() ? QV_EEPROM_eeVal2Rate(eepromData[offset]) : 115200u;
}

void QV_COM_Init0(void) {
    interrupt_disable(BSP_IRQ_UART0_RX);
    interrupt_disable(BSP_IRQ_UART0_TX);
    bsp_uart_init(0);
    bsp_uart_tx_irq(0, 0);
    rxStopped = 0; // before the ring reset, which would otherwise owe the host an XON
    txBusy = 0;
    rxReset();
    startCmd = 1;
    binaryEnable = binaryDisable ? 0 : 1;
    bufferOverflow = 0;
    rxError = 0;
    xoff = 0;
    debugGotLine = 0;
    txBuf[0] = 0;
    mainIsUart0 = 1;
    prevMain = 0;
    rolesAtPowerUp = 1;
    QV_COM_BaudRate(configuredRate(CFG_BAUD0));
    interrupt_set_isr(BSP_IRQ_UART0_RX, uart0MainRxIsr);
    interrupt_set_isr(BSP_IRQ_UART0_TX, uart0MainTxIsr);
    bsp_uart_rx_irq(0, 1);
    interrupt_enable(BSP_IRQ_UART0_RX, 0);
    interrupt_enable(BSP_IRQ_UART0_TX, 0);
}

void QV_COM_Init1(void) {
    interrupt_disable(BSP_IRQ_UART1_RX);
    interrupt_disable(BSP_IRQ_UART1_TX);
    bsp_uart_init(1);
    bsp_uart_tx_irq(1, 0);
    aFlushRx();
    auxEscCnt = 0;
    aTxBusy = 0;
    QV_AUX_BaudRate(configuredRate(CFG_BAUD1));
    interrupt_set_isr(BSP_IRQ_UART1_RX, uart1AuxRxIsr);
    interrupt_set_isr(BSP_IRQ_UART1_TX, uart1AuxTxIsr);
    bsp_uart_rx_irq(1, 1);
    interrupt_enable(BSP_IRQ_UART1_RX, 0);
    interrupt_enable(BSP_IRQ_UART1_TX, 0);
}

// ---- receive interrupts ------------------------------------------------------------------------

// Whether the byte at each ring position opened a binary line. rxString reads a line the way the
// interrupt took it in, even when binary lines were switched on or off in between (a lead byte
// that arrived while "*BMOFF" was still waiting in the ring is a binary line all the same).
static uint8_t rxLead[RX_BUF_SIZE];

static inline void store(uint8_t b, uint8_t lead = 0) {
    uint8_t *h = rxHead;
    rxLead[h - rxBuf] = lead;
    *h++ = b;
    rxHead = (h == rxEnd) ? rxBuf : h;
    rxCount = rxCount + 1;
}

void rxStoreRaw(uint8_t b) {
    store(b);
}

// XOFF only into an idle transmitter, never into a message being sent: the receive interrupt sends
// it when a byte arrives with the transmitter idle, the transmit side right after the last byte of
// a message. Without the second, a display answering every line with a longer reply would have a
// message on the wire whenever a byte came, and the ring would overflow without the host ever
// being told to stop.
void stopHostIfFull(int port) {
    if (rxCount > RX_XOFF_LEVEL && !rxStopped && bsp_uart_tx_ready(port)) {
        rxStopped = 1;
        bsp_uart_write(port, CH_XOFF);
    }
}

// One byte for the main ring. Flow-control bytes from the host are consumed before anything else.
static inline void mainRxByte(int port, uint8_t b) {
    if (b == CH_XOFF) {
        xoff = 1;
        return;
    }
    if (b == CH_XON) {
        xoff = 0;
        return;
    }
    uint32_t held = rxCount;
    if (!txBusy) stopHostIfFull(port);
    if (held >= RX_BUF_SIZE) {
        bufferOverflow = 1;
        return;
    }
    uint8_t pending = binaryMode;
    if (b >= 0x81 && pending == 0 && binaryEnable && startCmd) {
        store(b, 1);
        binaryMode = (uint8_t)(b - 0x80);
    } else if (pending) {
        store(b);
        binaryMode = --pending;
        if (pending == 0) {
            rxGotLine = rxGotLine + 1;
            startCmd = 1;
        }
    } else {
        store(b);
        if (b == CH_CR) {
            rxGotLine = rxGotLine + 1;
            startCmd = 1;
        } else {
            startCmd = 0;
        }
    }
}

void uart0MainRxIsr(void) {
    mainRxByte(0, bsp_uart_read(0));
}

void uart1MainRxIsr(void) {
    uint8_t b = bsp_uart_read(1);
    if (b == CH_CR) debugGotLine = debugGotLine + 1;
    // A byte within two bytes after a CR while no line is pending is stored as NUL (the RS485
    // flush stops there); it is not taken as XON or XOFF either.
    if (rxCount >= 2 && rxGotLine == 0) {
        uint32_t h = (uint32_t)(rxHead - rxBuf);
        if (rxBuf[(h + RX_BUF_SIZE - 1) % RX_BUF_SIZE] == CH_CR ||
            rxBuf[(h + RX_BUF_SIZE - 2) % RX_BUF_SIZE] == CH_CR)
            b = 0;
    }
    mainRxByte(1, b);
}

static inline void auxRxByte(uint8_t b) {
    if (b == eepromData[CFG_AUX_ESC]) {
        if (auxEscCnt < 255) auxEscCnt = auxEscCnt + 1;
    } else {
        auxEscCnt = 0;
    }
    if (aRxCount >= AUX_BUF_SIZE) return;
    uint32_t h = aRxHead;
    aRxBuf[h] = b;
    aRxHead = (h + 1 == AUX_BUF_SIZE) ? 0 : h + 1;
    aRxCount = aRxCount + 1;
}

void uart0AuxRxIsr(void) {
    auxRxByte(bsp_uart_read(0));
}
void uart1AuxRxIsr(void) {
    auxRxByte(bsp_uart_read(1));
}

// ---- main-loop side of the main ring -----------------------------------------------------------

int rxHeld(void) {
    return (int)rxCount;
}

// A host stopped by XOFF is owed its XON as soon as the ring has room again and the transmitter is
// free, whether or not a line is pending: the rest of an interrupted line can only come once the
// host may send. With no complete line held there is nothing the loop could take to make room, so
// the host is let go at any fill; bytes beyond the ring then end in an overflow ("^"), never in a
// stall. RS485 mode holds rxStopped and never sends XON.
static void resumeHost(void) {
    if (!rxStopped || txBusy || rs485Active()) return;
    if (rxCount > RX_XON_LEVEL && rxGotLine != 0) return;
    txChar(CH_XON);
    rxStopped = 0;
}

void rxReset(void) {
    uint32_t s = bsp_irq_save();
    rxHead = rxBuf;
    rxTail = rxBuf;
    rxCount = 0;
    rxGotLine = 0;
    binaryMode = 0;
    bsp_irq_restore(s);
    resumeHost(); // nothing is held: no line will come unless the host may send
}

// An error status seen by a waiting command, answered at the main loop's next look.
static int heldStatus;

static int lineStatus(void) {
    rolesAtPowerUp = 0;
    if (auxEscCnt >= 3) {
        // Three escapes in a row on the aux port (or more, when the loop was busy meanwhile): the
        // host there takes over command input.
        auxEscCnt = 0;
        if (!mainIsUart0) {
            // RS485 mode ends in RAM only; it held rxStopped, which would otherwise send the new
            // host a stray XON.
            eepromData[CFG_RS485_MODE] = CFG_UNSET;
            Init_485mode();
            makeUart0Main();
        } else {
            makeUart1Main();
        }
    }
    if (rxError) {
        rxError = 0;
        rxReset();
        xoff = 0;
        return 4;
    }
    if (bufferOverflow) {
        bufferOverflow = 0;
        rxReset();
        xoff = 0;
        return 2;
    }
    if (rxGotLine == 0) {
        if (binaryMode > 2) {
            rxReset();
            return 3;
        }
        resumeHost();
        return 0;
    }
    if (rs485Active()) return rs485LineFilter();
    resumeHost();
    return 1;
}

int isLineAvail(void) {
    if (heldStatus) {
        const int s = heldStatus;
        heldStatus = 0;
        return s;
    }
    return lineStatus();
}

int lineStatusInWait(void) {
    const int s = lineStatus();
    if (s < 2) return s;
    if (!heldStatus) heldStatus = s;
    return 0;
}

int hostSentEscape(void) {
    return !rs485Active() && lineStatusInWait() == 1 && peekChar() == 0x1B;
}

static void setText(char *buffer, int size, const char *text) {
    int i = 0;
    for (; text[i] && i < size; i++) buffer[i] = text[i];
    buffer[i] = 0;
}

// Gives back what the main loop took: `used` bytes, and one line when `line` is set.
static void release(uint8_t *tail, uint32_t used, int line) {
    uint32_t s = bsp_irq_save();
    rxTail = tail;
    rxCount = rxCount - used;
    if (line && rxGotLine) rxGotLine = rxGotLine - 1;
    if (debugGotLine) debugGotLine = debugGotLine - 1;
    bsp_irq_restore(s);
}

static void brokenLine(char *buffer, int size, const char *text) {
    rxReset();
    uint32_t s = bsp_irq_save();
    if (debugGotLine) debugGotLine = debugGotLine - 1;
    bsp_irq_restore(s);
    setText(buffer, size, text);
}

// The line is read in one sweep and the ring count is given back once at the end; until then the
// interrupt side sees the ring a little fuller than it is, which is the safe direction.
void rxString(char *buffer, int size) {
    buffer[0] = 0;
    uint32_t held = rxCount;
    if (held == 0) {
        brokenLine(buffer, size, "*IERR");
        return;
    }
    uint8_t *p = rxTail;
    uint32_t used = 0;
    uint8_t c;
    // More bytes may arrive while the line is read: look again before giving up.
    auto more = [&]() { return used < held || (held = rxCount) > used; };
    auto take = [&]() {
        c = *p++;
        if (p == rxEnd) p = rxBuf;
        used++;
    };

    uint8_t lead = rxLead[p - rxBuf]; // the first byte opened a binary line
    take();
    if (c == CH_LF) { // the LF of a CR LF line end
        if (!more()) {
            release(p, used, 0);
            return;
        }
        lead = rxLead[p - rxBuf];
        take();
    }

    if (lead && c >= 0x81) {
        uint32_t n = c - 0x80u;
        if ((int)n >= size) {
            brokenLine(buffer, size, "*SERR");
            return;
        }
        if (held - used < n && (held = rxCount) - used < n) { // the line is not complete
            brokenLine(buffer, size, "*SERR");
            return;
        }
        uint8_t *out = (uint8_t *)buffer;
        out[0] = c;
        for (uint32_t i = 1; i <= n; i++) {
            take();
            out[i] = c;
        }
        out[n + 1] = 0; // not part of the line; keeps a string reader inside the buffer
        release(p, used, 1);
        return;
    }

    int copied = 0;
    for (;;) {
        if (c == CH_BS) {
            if (copied) copied--;
        } else {
            buffer[copied++] = (char)c;
            if (c == CH_CR) {
                buffer[copied] = 0;
                release(p, used, 1);
                return;
            }
            if (copied == size) {
                // The CR of a full-length line is not stored.
                if (!more()) break;
                take();
                if (c != CH_CR) break;
                buffer[size] = 0;
                release(p, used, 1);
                return;
            }
        }
        if (!more()) break; // no CR held: the pending-line count was wrong
        take();
    }
    brokenLine(buffer, size, "*SERR");
}

int checkEscape(void) {
    uint32_t held = rxCount;
    const uint8_t *p = rxTail;
    for (uint32_t i = 0; i + 1 < held; i++) {
        const uint8_t *q = (p + 1 == rxEnd) ? rxBuf : p + 1;
        if (*p == CH_ESC && *q == CH_CR) return 1;
        p = q;
    }
    return 0;
}

int checkAbortCmd(void) {
    static const char abortLine[5] = {'*', 'a', 'b', 't', '\r'};
    if (rxGotLine == 0 || rxCount < 5) return 0;
    uint32_t h = (uint32_t)(rxHead - rxBuf);
    for (int i = 4; i >= 0; i--) {
        h = (h + RX_BUF_SIZE - 1) % RX_BUF_SIZE;
        if (rxBuf[h] != (uint8_t)abortLine[i]) return 0;
    }
    return 1;
}

void fakeNullCommand(void) {
    uint32_t s = bsp_irq_save();
    if (rxCount < RX_BUF_SIZE) {
        store(CH_CR);
        rxGotLine = rxGotLine + 1;
        startCmd = 1;
    }
    bsp_irq_restore(s);
}

void decRxGotLine(void) {
    uint32_t s = bsp_irq_save();
    if (rxGotLine) rxGotLine = rxGotLine - 1;
    bsp_irq_restore(s);
}

uint8_t waitChar(void) {
    while (rxCount == 0) bsp_wait_for_interrupt();
    uint8_t *p = rxTail;
    uint8_t c = *p++;
    if (p == rxEnd) p = rxBuf;
    uint32_t s = bsp_irq_save();
    rxTail = p;
    rxCount = rxCount - 1;
    bsp_irq_restore(s);
    return c;
}

uint8_t peekChar(void) {
    return *rxTail;
}

// ---- aux ring ----------------------------------------------------------------------------------

int anyAuxRx(void) {
    return (int)aRxCount;
}

// Removes up to max bytes from the aux ring into buffer.
static int auxTake(uint8_t *buffer, int max) {
    uint32_t n = aRxCount;
    if (max < 0) max = 0;
    if (n > (uint32_t)max) n = (uint32_t)max;
    uint32_t t = aRxTail;
    for (uint32_t i = 0; i < n; i++) {
        buffer[i] = aRxBuf[t];
        t = (t + 1 == AUX_BUF_SIZE) ? 0 : t + 1;
    }
    uint32_t s = bsp_irq_save();
    aRxTail = t;
    aRxCount = aRxCount - n;
    bsp_irq_restore(s);
    return (int)n;
}

int getAuxRx(char *buffer, int size) {
    if (size <= 0) return 0;
    int n = auxTake((uint8_t *)buffer, size - 1);
    buffer[n] = 0;
    return n;
}

int getAinBin(uint8_t *buffer, int max) {
    if (max > 128) max = 128;
    return auxTake(buffer, max);
}

void aFlushRx(void) {
    uint32_t s = bsp_irq_save();
    aRxHead = 0;
    aRxTail = 0;
    aRxCount = 0;
    bsp_irq_restore(s);
}
