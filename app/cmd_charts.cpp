// Chart commands: definition with pens, pens and modes, clearing, plotting one column of values, and
// the binary stream of columns ("bcv").
// Coordinates are relative to the drawing origin; a chart must lie on the screen.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/commands.h"
#include "app/control_args.h"
#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "board/services/timer.h"
#include "displays/chart.h"
#include "gfx/gfx_state.h"
#include "serial/serial.h"
#include "touch/touch.h"

// Pairs "width colour" for pens 0, 1, ... to the end of the line; the chart's remainder rule
// follows the widest pen. A failing pair fails the command, keeping the pens before it.
static int definePens(int n, char *p) {
    int32_t widest = 0;
    int result = CMD_OK;
    for (int pen = 0; !atEnd(p); pen++) {
        int32_t width;
        GUI_COLOR colour;
        if (!nextNumber(&p, &width) || !nextColour(&p, &colour) || !QV_Chart_Set_Pen(n, pen, colour, width)) {
            result = CMD_FAIL;
            break;
        }
        if (width > widest) widest = width;
    }
    QV_Chart_FinishSetup(n, widest);
    return result;
}

// "cd chart x0 y0 x1 y1 type step min max background [width colour]..."
int cmd_cd(char *line) {
    char *p = line + 2;
    int32_t n, x0, y0, x1, y1, type, step, min, max;
    GUI_COLOR bg;
    if (!nextNumber(&p, &n) || !nextNumber(&p, &x0) || !nextNumber(&p, &y0) || !nextNumber(&p, &x1) ||
        !nextNumber(&p, &y1) || !nextNumber(&p, &type) || !nextNumber(&p, &step) || !nextNumber(&p, &min) ||
        !nextNumber(&p, &max) || !nextColour(&p, &bg))
        return CMD_FAIL;
    if (!areaFromOrigin(&x0, &y0, &x1, &y1)) return CMD_FAIL;
    if (!QV_Chart_Setup(n, type, step, x0, y0, x1, y1, min, max, bg)) return CMD_FAIL;
    return definePens(n, p);
}

// "cdb chart x y step min max bitmap [width colour]..."
int cmd_cdb(char *line) {
    char *p = line + 3;
    int32_t n, x, y, step, min, max, bitmap;
    if (!nextNumber(&p, &n) || !nextNumber(&p, &x) || !nextNumber(&p, &y) || !nextNumber(&p, &step) ||
        !nextNumber(&p, &min) || !nextNumber(&p, &max) || !nextNumber(&p, &bitmap))
        return CMD_FAIL;
    x += Origin_X;
    y += Origin_Y;
    const ExtRecord *rec = QV_GetExtBitmap(bitmap);
    if (!rec || !areaIsOnScreen(x, y, x + QV_BitmapWidth(rec) - 1, y + QV_BitmapHeight(rec) - 1))
        return CMD_FAIL;
    if (!QV_BitmapChart_Setup(n, x, y, step, min, max, bitmap)) return CMD_FAIL;
    return definePens(n, p);
}

int cmd_cdbb(char *line) {
    int n, bitmap;
    if (sscanf(line, "%*s %d %d", &n, &bitmap) != 2) return CMD_FAIL;
    return QV_SetChartBitmap(n, bitmap) ? CMD_OK : CMD_FAIL;
}

int cmd_cdbc(char *line) {
    char *p = line + 4;
    int32_t n;
    GUI_COLOR colour;
    if (!nextNumber(&p, &n) || !nextColour(&p, &colour)) return CMD_FAIL;
    return QV_SetChartBackgroundColor(n, colour) ? CMD_OK : CMD_FAIL;
}

int cmd_cdp(char *line) {
    char *p = line + 3;
    int32_t n, pen, width;
    GUI_COLOR colour;
    if (!nextNumber(&p, &n) || !nextNumber(&p, &pen) || !nextNumber(&p, &width) || !nextColour(&p, &colour))
        return CMD_FAIL;
    return QV_ChangeChartPen(n, pen, width, colour) ? CMD_OK : CMD_FAIL;
}

// "cddm chart [on]" / "cdrm chart [on]": "on" anywhere in the line switches the mode on.
static int chartMode(char *line, int (*set)(int, int)) {
    int n;
    if (sscanf(line, "%*s %d", &n) != 1) return CMD_FAIL;
    return set(n, strstr(line, "on") != nullptr) ? CMD_OK : CMD_FAIL;
}

int cmd_cddm(char *line) {
    return chartMode(line, QV_SetChartDrawMode);
}

int cmd_cdrm(char *line) {
    return chartMode(line, QV_SetChartRetraceMode);
}

int cmd_cc(char *line) {
    int n;
    if (sscanf(line, "%*s %d", &n) != 1) return CMD_FAIL;
    return QV_ClearAndResetChartDisplay(n) ? CMD_OK : CMD_FAIL;
}

int cmd_cr(char *line) {
    int n;
    if (sscanf(line, "%*s %d", &n) != 1) return CMD_FAIL;
    return QV_ResetChartCursor(n) ? CMD_OK : CMD_FAIL;
}

// "cv chart v0 v1 ...": a token beginning with '-' gives its pen no value in this column.
int cmd_cv(char *line) {
    char *p = line + 2;
    int32_t n, values[CHART_PENS];
    if (!nextNumber(&p, &n)) return CMD_FAIL;
    int count = 0;
    while (!atEnd(p)) {
        if (count == CHART_PENS) return CMD_FAIL;
        while (*p == ' ' || *p == '\t') p++;
        if (*p == '-') {
            values[count++] = CHART_NO_VALUE;
            while (*p && *p != ' ' && *p != '\t') p++;
        } else if (!nextNumber(&p, &values[count++])) {
            return CMD_FAIL;
        }
    }
    return QV_Chart_Show(n, count, values) ? CMD_OK : CMD_FAIL;
}

// ---- binary samples ---------------------------------------------------------------------------------

// One column of `pens` 16-bit samples, low byte first, per 2 x pens bytes; 0xFFFF is no value. The
// host starts after '>' CR and may pause up to `timeout` ms between columns.
int doBinChartVals(int n, int32_t count, uint32_t timeout) {
    int pens = QV_Chart_Get_Pens(n);
    if (pens == 0) return 0;
    makeUartBinMain();
    binTxChar('>');
    binTxChar('\r');
    gpTimer = timeout;
    while (count > 0) {
        if (!gpTimer) return binAbandon(BIN_DRAIN_MS);
        binFlowControl();
        if (bufferOverflow || rxError) return binAbandon(BIN_DRAIN_MS);
        if (rxHeld() >= 2 * pens) {
            gpTimer = timeout;
            int32_t values[CHART_PENS];
            for (int k = 0; k < pens; k++) {
                uint32_t lo = waitChar(), hi = waitChar();
                uint32_t v = lo | hi << 8;
                values[k] = v == 0xFFFF ? CHART_NO_VALUE : (int32_t)v;
            }
            QV_Chart_Show(n, pens, values);
            count--;
            continue;
        }
        if (GetPenState()) handle_touch();
        bsp_wait_for_interrupt();
    }
    restoreUartBinMain();
    return 1;
}

int cmd_bcv(char *line) {
    int n, count;
    if (sscanf(line, "%*s %d %d", &n, &count) != 2 || count < 0) return CMD_FAIL;
    return doBinChartVals(n, count, 5000) ? CMD_OK : CMD_FAIL;
}
