// RS485 addressed mode (frames with a start-of-frame character and a two-digit address, the
// discovery query, the mode's commands) and the communication watchdog.
#include "serial/rs485.h"

#include "board/bsp/bsp.h"
#include "board/services/timer.h"
#include "serial/serial.h"
#include "settings/settings.h"

#include <stdio.h>
#include <string.h>

int rs485Active(void) {
    return eepromData[CFG_RS485_MODE] == CFG_MODE_ON;
}

// Set while RS485 mode holds rxStopped (no XOFF may go out on a shared line).
static uint8_t heldForRs485;

void Init_485mode(void) {
    if (!rs485Active()) {
        // Only the hold of RS485 mode is released here. An XOFF that went out while the display
        // started (a host sending more than the ring's threshold during start-up) stays in force,
        // so that its XON follows once the ring has drained; clearing it would stall the host.
        if (heldForRs485) rxStopped = 0;
        heldForRs485 = 0;
        return;
    }
    heldForRs485 = 1;
    rxStopped = 1;
    rs485prefix[0] = (char)eepromData[CFG_RS485_SOF];
    rs485prefix[1] = 'F';
    rs485prefix[2] = 'F';
    rs485prefix[3] = 0;
    makeUart1Main();
}

// ---- the ring as the filter reads it ---------------------------------------------------------------

static uint8_t ringAt(uint32_t i) {
    uint32_t t = (uint32_t)(rxTail - rxBuf);
    return rxBuf[(t + i) % RX_BUF_SIZE];
}

// Gives back n bytes from the tail, `lines` of them CRs that ended counted lines. An empty ring holds
// no line, whatever was counted (a binary line without a frame, a count left by a reset): a count
// left over would have the main loop look for it again and again.
static void ringDrop(uint32_t n, uint32_t lines) {
    uint32_t s = bsp_irq_save();
    if (n) {
        uint32_t t = (uint32_t)(rxTail - rxBuf);
        rxTail = rxBuf + (t + n) % RX_BUF_SIZE;
        rxCount = rxCount - n;
        rxGotLine = lines < rxGotLine ? rxGotLine - lines : 0;
    }
    if (rxCount == 0) rxGotLine = 0;
    bsp_irq_restore(s);
}

static int hexDigit(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10; // lowercase never matches
    return -1;
}

static uint8_t sofChar(void) {
    return eepromData[CFG_RS485_SOF];
}

// The frame under way ends at its CR, or earlier where the next frame's start-of-frame shows that
// its CR was lost; the line count follows every CR dropped, so it never disagrees with the ring.
void flushToCRorSOF(void) {
    uint32_t held = rxCount, n = 0;
    const uint8_t sof = sofChar();
    while (n < held) {
        uint8_t c = ringAt(n);
        if (c == sof) break;
        n++;
        if (c == '\r') {
            ringDrop(n, 1);
            return;
        }
    }
    ringDrop(n, 0);
}

// The discovery query "?" and the address's high digit: every display of that group answers after
// a delay set by its low digit, so that the answers follow one another in address order.
static void answerDiscovery(int group) {
    uint8_t addr = eepromData[CFG_RS485_ADDR];
    flushToCRorSOF();
    if (group != (addr >> 4)) return;
    uint32_t rate = QV_COM_getBaud(1);
    QV_Delay((addr & 0x0F) * (115200u / (rate ? rate : 115200u)));
    char reply[16];
    snprintf(reply, sizeof reply, "SOF%02XADR%02X\r", (unsigned)sofChar(), (unsigned)addr);
    // The answer goes out alone: held notices would make it longer than the gap before the next
    // display's answer. They wait for a command addressed to this display or a poll.
    char held[TX_BUF_SIZE];
    memcpy(held, txBuf, sizeof held);
    txBuf[0] = 0;
    txString(reply);
    memcpy(txBuf, held, sizeof held);
}

int rs485LineFilter(void) {
    const uint8_t sof = sofChar();
    // Whatever comes before a start-of-frame is not a frame: noise, a broken frame's rest, a reply
    // of another display. The lines it ends are dropped with it.
    uint32_t held = rxCount, n = 0, lines = 0;
    bool found = false;
    for (; n < held; n++) {
        uint8_t c = ringAt(n);
        if (c == sof) {
            found = true;
            break;
        }
        if (c == '\r') lines++;
    }
    ringDrop(n, lines);
    // A frame whose CR has not come yet keeps its start-of-frame for the next look.
    if (!found || rxGotLine == 0) return 0;
    ringDrop(1, 0);
    if (rxCount <= 2) {
        flushToCRorSOF();
        return 0;
    }
    uint8_t addr = eepromData[CFG_RS485_ADDR];
    uint8_t first = ringAt(0);
    if (first == '?') {
        int group = hexDigit(ringAt(1));
        ringDrop(2, 0);
        answerDiscovery(group);
        return 0;
    }
    if (hexDigit(first) != (addr >> 4) || hexDigit(ringAt(1)) != (addr & 0x0F)) {
        // A digit that is a CR ends the frame here; any other mismatch drops up to its end.
        flushToCRorSOF();
        return 0;
    }
    ringDrop(2, 0);
    return 1;
}

bool rs485Enable(char sof, char high, char low, char *reply, int size) {
    int h = hexDigit((uint8_t)high), l = hexDigit((uint8_t)low);
    // FF is no address: it marks an unset one and is the prefix of every display's messages, which
    // a display at FF would take for frames addressed to it.
    if (h < 0 || l < 0 || (h == 15 && l == 15)) return false;
    eepromData[CFG_RS485_SOF] = (uint8_t)sof;
    eepromData[CFG_RS485_ADDR] = (uint8_t)(h << 4 | l);
    snprintf(reply, (size_t)size, "RS485 Mode SOF 0x%02X (%c) ADR %02X\r", (unsigned)(uint8_t)sof, sof,
             (unsigned)eepromData[CFG_RS485_ADDR]);
    return true;
}

void rs485Disable(char *reply, int size) {
    snprintf(reply, (size_t)size, "RS485 OFF ADR %02X\r", (unsigned)eepromData[CFG_RS485_ADDR]);
}

// ---- communication watchdog ----------------------------------------------------------------------

CommWatchDog commWatchDog;
void (*commWatchDogRun)(int macro, const char *label);

void setupCommWatchDog(uint32_t macro, uint32_t shortSecs, uint32_t longSecs) {
    commWatchDog.macro = macro;
    commWatchDog.shortTimeout = shortSecs;
    commWatchDog.longTimeout = longSecs;
    commWatchDog.lastActivity = QV_TimerGetMsCount();
    commWatchDog.flags = COMWDT_ENABLED;
}

void disableCommWatchDog(void) {
    commWatchDog.flags &= (uint8_t)~COMWDT_ENABLED;
}

void processCommWatchDog(int lineSeen) {
    CommWatchDog &w = commWatchDog;
    if (!(w.flags & COMWDT_ENABLED)) return;
    const char *label = nullptr;
    uint32_t nowMs = QV_TimerGetMsCount();
    if (lineSeen) {
        if (w.flags & COMWDT_SHORT_DOWN) {
            w.flags &= (uint8_t)~COMWDT_SHORT_DOWN;
            label = ":st_up";
        } else if (w.flags & COMWDT_LONG_DOWN) {
            w.flags &= (uint8_t)~COMWDT_LONG_DOWN;
            label = ":lt_up";
        }
        w.lastActivity = nowMs;
        if (!label) return;
    } else {
        if (w.longTimeout == 0 ? (w.flags & COMWDT_SHORT_DOWN) : (w.flags & COMWDT_LONG_DOWN)) return;
        uint32_t elapsed = (nowMs - w.lastActivity) / 1000u; // wraps correctly
        if (w.longTimeout && elapsed >= w.longTimeout && !(w.flags & COMWDT_LONG_DOWN)) {
            w.flags = (uint8_t)((w.flags & ~COMWDT_SHORT_DOWN) | COMWDT_LONG_DOWN);
            label = ":lt_down";
        } else if (elapsed >= w.shortTimeout && !(w.flags & COMWDT_SHORT_DOWN)) {
            w.flags |= COMWDT_SHORT_DOWN;
            label = ":st_down";
        } else {
            return;
        }
    }
    if (commWatchDogRun) commWatchDogRun((int)w.macro, label);
}
