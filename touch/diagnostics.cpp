// Touch diagnostics for the bench: live views of the published position and of raw readings, the
// touch trace of one press, and one calibration-target measurement. They hold the main loop while
// they run; those that read the converter directly stop the sampler meanwhile.
#include <stdio.h>
#include <stdlib.h>

#include "base/config_block.h"
#include "base/console.h"
#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "board/services/timer.h"
#include "serial/rs485.h"
#include "serial/serial.h"
#include "settings/settings.h"
#include "touch/sampler.h"
#include "touch/touch.h"

namespace {

uint32_t now(void) {
    return QV_TimerGetMsCount();
}

void waitUntil(uint32_t ms) {
    while ((int32_t)(now() - ms) < 0) bsp_wait_for_interrupt();
}

// A line beginning with ESC from the host ends a wait for the pen, as it ends "w".
bool hostAborts(void) {
    return hostSentEscape();
}

void reply(void) {
    txString(out_buffer);
}

} // namespace

// "*td": the published raw position ten times a second while a touch is valid, until five
// seconds have passed without one.
int cmd_sys_td(char *) {
    snprintf(out_buffer, sizeof out_buffer, "TouchSwap = %d\r", eepromData[CFG_TOUCH_SWAP]);
    reply();
    uint32_t next = now(), lastValid = next;
    for (;;) {
        waitUntil(next);
        next += 100;
        uint8_t valid;
        int32_t raw1, raw2;
        QV_Touch_Get_State(&valid, &raw1, &raw2);
        if (valid) {
            uint16_t press;
            int state;
            QV_Touch_Info(&press, nullptr, nullptr, &state);
            snprintf(out_buffer, sizeof out_buffer, "X=%3d:Y=%3d:P=%3d:S=%d:t%d\r", (int)raw1, (int)raw2,
                     press, state, GetPenState());
            reply();
            lastValid = now();
        } else if (now() - lastValid >= 5000) {
            return CMD_OK;
        }
    }
}

// "*td2": six seconds of the valid flag and raw pair, ten lines a second; then the failure reply.
int cmd_sys_td2(char *) {
    uint32_t next = now();
    for (int i = 0; i < 60; i++) {
        waitUntil(next);
        next += 100;
        uint8_t valid;
        int32_t raw1, raw2;
        QV_Touch_Get_State(&valid, &raw1, &raw2);
        snprintf(out_buffer, sizeof out_buffer, "%d %03X:%03X\r", valid, (unsigned)raw1, (unsigned)raw2);
        reply();
    }
    return CMD_FAIL;
}

// "*tr": single readings once a millisecond with the sampler stopped; a reading within 3 counts of
// the one before is steady and printed with its pressure term. Ends five seconds after the last
// steady reading.
int cmd_sys_tr(char *) {
    enableTouch(0);
    int32_t prevX = -100, prevY = -100;
    uint32_t next = now(), last = next;
    while (now() - last < 5000) {
        waitUntil(next);
        next = now() + 1; // a slow line to the host makes the readings sparser, not a backlog
        if (!GetPenState()) continue;
        int32_t x = touchReadX(), y = touchReadY();
        uint16_t z1, z2;
        touchReadZ(&z1, &z2);
        if (z1 && abs(x - prevX) <= 3 && abs(y - prevY) <= 3) {
            int32_t p = x * ((256 * (int32_t)z2) / z1 - 256) / 256;
            snprintf(out_buffer, sizeof out_buffer, "%3d,%3d,%5d\r", (int)x, (int)y, (int)p);
            reply();
            last = now();
        }
        prevX = x;
        prevY = y;
    }
    enableTouch(1);
    return CMD_OK;
}

// "*ttt": one press traced: (1,1,1), ten readings back to back with their pressure, (2,2,2), ten X/Y
// readings 1 ms apart (pressure from the last Z readings); then printed as "*tt" prints the trace.
int cmd_sys_ttt(char *line) {
    enableTouch(0);
    while (!GetPenState()) {
        if (hostAborts()) {
            enableTouch(1);
            return CMD_FAIL;
        }
        bsp_wait_for_interrupt();
    }
    uint16_t z1 = 0, z2 = 0;
    auto sample = [&](bool readZ) {
        uint16_t x = touchReadXSettled(), y = touchReadYSettled();
        if (readZ) touchReadZ(&z1, &z2);
        ttrace(x, y, z1 ? (int32_t)touchPressure(x, y, z1, z2) : 0);
    };
    ttrace(1, 1, 1);
    for (int i = 0; i < 10; i++) sample(true);
    ttrace(2, 2, 2);
    uint32_t next = now();
    for (int i = 0; i < 10; i++) {
        next++;
        waitUntil(next);
        sample(false);
    }
    enableTouch(1);
    return cmd_sys_tt(line);
}

// "*gcp x y": one calibration-target measurement at (x, y), caption left of the target when x > 70.
int cmd_sys_gcp(char *line) {
    int x, y;
    if (sscanf(line + 4, "%d %d", &x, &y) != 2) return CMD_FAIL;
    int16_t raw1, raw2;
    if (!getCalPoint(x > 70, x, y, &raw1, &raw2)) return CMD_FAIL;
    snprintf(out_buffer, sizeof out_buffer, ":   LogX:%d, LogY:%d, PhyX:%d, PhyY:%d\r", x, y, raw1, raw2);
    reply();
    return CMD_OK;
}
