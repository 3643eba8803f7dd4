// The fake board of the serial tests (see fake_board.h).
#include "tests/serial/fake_board.h"

#include <deque>

#include <gtest/gtest.h>

namespace {

struct Uart {
    bool rxIrq = false, txIrq = false;
    uint32_t baud = 0;
    std::deque<uint8_t> queue;
    uint8_t rxReg = 0;
    std::vector<fb::Sent> out;
    int shifting = 0;
};

struct Pending {
    uint32_t at;
    int port;
    std::string bytes;
};

Uart uart[2];
bsp_isr_t handlers[BSP_IRQ_SOURCES];
bool enabled[BSP_IRQ_SOURCES];
bool isMasked, inIsr, trickle, txenLine;
uint32_t clockMs;
std::vector<Pending> later;

int rxSource(int port) {
    return port == 0 ? BSP_IRQ_UART0_RX : BSP_IRQ_UART1_RX;
}
int txSource(int port) {
    return port == 0 ? BSP_IRQ_UART0_TX : BSP_IRQ_UART1_TX;
}

bool runIsr(int source) {
    if (!enabled[source]) return false;
    if (!handlers[source]) {
        ADD_FAILURE() << "interrupt " << source << " enabled without a handler";
        enabled[source] = false;
        return false;
    }
    inIsr = true;
    handlers[source]();
    inIsr = false;
    return true;
}

// Runs every interrupt that is due, as the board does at each of its calls.
void deliver() {
    if (isMasked || inIsr) return;
    bool received = false;
    for (int rounds = 0; rounds < 1000000; rounds++) {
        bool progress = false;
        for (int p = 0; p < 2; p++) {
            Uart &u = uart[p];
            if (!u.queue.empty() && u.rxIrq && enabled[rxSource(p)] && !(trickle && received)) {
                u.rxReg = u.queue.front();
                u.queue.pop_front();
                progress |= runIsr(rxSource(p));
                received = true;
            }
            if (u.txIrq) progress |= runIsr(txSource(p));
        }
        if (!progress) return;
    }
    ADD_FAILURE() << "interrupts never settle";
}

} // namespace

namespace fb {

int irqSaves, installsWhileOn, maskedMismatch, txEmptyPolls, shiftTime;

void reset() {
    for (auto &u : uart) u = Uart();
    for (auto &h : handlers) h = nullptr;
    for (auto &e : enabled) e = false;
    isMasked = inIsr = trickle = txenLine = false;
    clockMs = 0;
    later.clear();
    irqSaves = installsWhileOn = maskedMismatch = txEmptyPolls = 0;
    shiftTime = 2;
}

void rx(int port, const std::string &bytes) {
    for (char c : bytes) uart[port].queue.push_back((uint8_t)c);
    deliver();
}

void rxAt(uint32_t atMs, int port, const std::string &bytes) {
    later.push_back({atMs, port, bytes});
}
void setTrickle(bool on) {
    trickle = on;
}
size_t rxQueued(int port) {
    return uart[port].queue.size();
}
void latch(int port, uint8_t byte) {
    uart[port].rxReg = byte;
}

std::string out(int port) {
    std::string s;
    for (auto &b : uart[port].out) s += (char)b.value;
    return s;
}
std::vector<Sent> &wire(int port) {
    return uart[port].out;
}
void clearOut() {
    uart[0].out.clear();
    uart[1].out.clear();
}

uint32_t now() {
    return clockMs;
}
uint32_t baud(int port) {
    return uart[port].baud;
}
bool rxIrqOn(int port) {
    return uart[port].rxIrq;
}
bool txIrqOn(int port) {
    return uart[port].txIrq;
}
bool txen() {
    return txenLine;
}
bool masked() {
    return isMasked;
}
bsp_isr_t handler(int source) {
    return handlers[source];
}
bool sourceEnabled(int source) {
    return enabled[source];
}

} // namespace fb

// ---- the board operations the serial room uses -------------------------------------------------

void interrupt_set_isr(int source, bsp_isr_t handler) {
    if (source >= BSP_IRQ_UART0_RX && source <= BSP_IRQ_UART1_TX && enabled[source]) fb::installsWhileOn++;
    handlers[source] = handler;
}
void interrupt_enable(int source, int) {
    enabled[source] = true;
    deliver();
}
void interrupt_disable(int source) {
    enabled[source] = false;
}

uint32_t bsp_irq_save(void) {
    fb::irqSaves++;
    uint32_t was = isMasked ? 1 : 0;
    isMasked = true;
    return was;
}
void bsp_irq_restore(uint32_t state) {
    if (!isMasked) fb::maskedMismatch++;
    isMasked = state != 0;
    deliver();
}
void bsp_wait_for_interrupt(void) {
    deliver();
}

void bsp_uart_init(int port) {
    uart[port].rxIrq = uart[port].txIrq = false;
}
void bsp_uart_set_baud(int port, uint32_t rate) {
    uart[port].baud = rate;
}
void bsp_uart_rx_irq(int port, int on) {
    uart[port].rxIrq = on != 0;
    deliver();
}
void bsp_uart_tx_irq(int port, int on) {
    uart[port].txIrq = on != 0;
    deliver();
}
uint8_t bsp_uart_read(int port) {
    return uart[port].rxReg;
}
int bsp_uart_tx_ready(int port) {
    deliver();
    (void)port;
    return 1;
}
void bsp_uart_write(int port, uint8_t byte) {
    uart[port].out.push_back({byte, uart[port].baud, txenLine});
    uart[port].shifting = fb::shiftTime;
}
int bsp_uart_tx_empty(int port) {
    fb::txEmptyPolls++;
    deliver();
    if (uart[port].shifting > 0) {
        uart[port].shifting--;
        return 0;
    }
    return 1;
}
void bsp_rs485_txen(int on) {
    txenLine = on != 0;
}

// ---- the timer service: QV_Delay is the only clock the serial room reads -----------------------

void QV_Delay(uint32_t ms) {
    while (ms--) {
        clockMs++;
        for (size_t i = 0; i < later.size();) {
            if (later[i].at <= clockMs) {
                Pending p = later[i];
                later.erase(later.begin() + (long)i);
                fb::rx(p.port, p.bytes);
            } else {
                i++;
            }
        }
        deliver();
    }
}
