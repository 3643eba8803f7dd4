// The two PL011 UARTs, 24 MHz reference clock, FIFOs on.
//
// The firmware's handlers expect level-triggered interrupts: the receive interrupt while a byte is
// waiting, the transmit interrupt while the transmitter can take a byte. The PL011 signals its
// transmit interrupt only when the FIFO drains past its trigger level, never merely because it is
// empty, so the transmit level is raised in software on the controller line while the transmit
// interrupt is on and the FIFO has room; the UART's own transmit interrupt is used only to learn
// that a full FIFO has room again.
#include "board/bsp/bsp.h"
#include "board/versatilepb/vpb.h"

enum : uint32_t {
    UART_DR = 0x00,
    UART_FR = 0x18,
    UART_IBRD = 0x24,
    UART_FBRD = 0x28,
    UART_LCRH = 0x2C,
    UART_CR = 0x30,
    UART_IFLS = 0x34,
    UART_IMSC = 0x38,
    UART_MIS = 0x40,
    UART_ICR = 0x44,

    FR_BUSY = 1u << 3,
    FR_RXFE = 1u << 4,
    FR_TXFF = 1u << 5,
    FR_TXFE = 1u << 7,
    LCRH_FEN = 1u << 4,
    LCRH_WLEN8 = 3u << 5,
    CR_UARTEN = 1u << 0,
    CR_TXE = 1u << 8,
    CR_RXE = 1u << 9,
    INT_RX = 1u << 4,
    INT_TX = 1u << 5,
    INT_RT = 1u << 6,
    INT_ALL = 0x7FFu,

    UART_CLOCK = 24000000u,
};
static const int RX_FIFO_DEPTH = 16;

static const uint32_t uartBase[2] = {VPB_UART0, VPB_UART1};
static const int rxSource[2] = {BSP_IRQ_UART0_RX, BSP_IRQ_UART1_RX};
static const int txSource[2] = {BSP_IRQ_UART0_TX, BSP_IRQ_UART1_TX};
static const int uartLine[2] = {VPB_LINE_UART0, VPB_LINE_UART1};
static volatile uint8_t rxOn[2], txOn[2];
static uint8_t rs485Driven;

static volatile uint32_t &reg(int port, uint32_t offset) {
    return vpbReg(uartBase[port & 1] + offset);
}

void bsp_uart_init(int port) {
    port &= 1;
    uint32_t saved = bsp_irq_save();
    rxOn[port] = 0;
    txOn[port] = 0;
    reg(port, UART_CR) = 0;
    reg(port, UART_IMSC) = 0;
    reg(port, UART_ICR) = INT_ALL;
    reg(port, UART_IFLS) = 0; // receive interrupt at 1/8 full; the receive timeout covers the rest
    vpbUartUpdate(port);
    bsp_irq_restore(saved);
    bsp_uart_set_baud(port, 115200);
}

void bsp_uart_set_baud(int port, uint32_t rate) {
    port &= 1;
    if (rate < 1200) rate = 1200;
    if (rate > 460800) rate = 460800;
    // Divisor in 1/64ths of the 16x bit clock, rounded.
    uint32_t div64 = (UART_CLOCK * 4u + rate / 2) / rate;
    while (reg(port, UART_FR) & FR_BUSY) {}
    reg(port, UART_CR) = 0;
    reg(port, UART_IBRD) = div64 >> 6;
    reg(port, UART_FBRD) = div64 & 63;
    reg(port, UART_LCRH) = LCRH_WLEN8 | LCRH_FEN; // latches the divisor
    reg(port, UART_CR) = CR_UARTEN | CR_TXE | CR_RXE;
}

// The UART's interrupt masks and the software transmit level follow the firmware's wishes and the
// logical sources' enables.
void vpbUartUpdate(int port) {
    uint32_t saved = bsp_irq_save();
    uint32_t mask = 0;
    if (rxOn[port] && vpbSourceEnabled(rxSource[port])) mask |= INT_RX | INT_RT;
    int tx = txOn[port] && vpbSourceEnabled(txSource[port]);
    int room = !(reg(port, UART_FR) & FR_TXFF);
    if (tx && !room) mask |= INT_TX;
    reg(port, UART_IMSC) = mask;
    vpbLineSoftPending(uartLine[port], tx && room);
    bsp_irq_restore(saved);
}

void vpbUartService(int port) {
    if (rxOn[port] && vpbSourceEnabled(rxSource[port])) {
        // One handler call per byte waiting; the handler reads it. A handler that leaves its byte
        // gets the interrupt again.
        for (int n = 0; n < RX_FIFO_DEPTH && !(reg(port, UART_FR) & FR_RXFE); n++)
            vpbRunHandler(rxSource[port]);
        reg(port, UART_ICR) = INT_RT;
    }
    if (txOn[port] && vpbSourceEnabled(txSource[port]) && !(reg(port, UART_FR) & FR_TXFF)) {
        reg(port, UART_ICR) = INT_TX;
        vpbRunHandler(txSource[port]);
    }
    vpbUartUpdate(port);
}

void bsp_uart_rx_irq(int port, int on) {
    rxOn[port & 1] = on != 0;
    vpbUartUpdate(port & 1);
}

void bsp_uart_tx_irq(int port, int on) {
    txOn[port & 1] = on != 0;
    vpbUartUpdate(port & 1);
}

uint8_t bsp_uart_read(int port) {
    uint8_t byte = (uint8_t)reg(port, UART_DR);
    reg(port, UART_ICR) = INT_RT;
    return byte;
}

int bsp_uart_tx_ready(int port) {
    return !(reg(port, UART_FR) & FR_TXFF);
}

void bsp_uart_write(int port, uint8_t byte) {
    reg(port, UART_DR) = byte;
}

int bsp_uart_tx_empty(int port) {
    uint32_t fr = reg(port, UART_FR);
    return (fr & FR_TXFE) && !(fr & FR_BUSY);
}

// The machine has no RS485 driver: the enable is remembered and drives nothing.
void bsp_rs485_txen(int on) {
    rs485Driven = on != 0;
}

void vpbUartPutcPolled(char c) {
    while (vpbReg(VPB_UART0 + UART_FR) & FR_TXFF) {}
    vpbReg(VPB_UART0 + UART_DR) = (uint8_t)c;
}

void bsp_uart0_putchar(char c) {
    vpbUartPutcPolled(c);
}
