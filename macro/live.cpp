// System values a command line can name between backquotes: bitmap sizes, screen size, settings,
// temperature and baud rate. A value that does not exist yields nothing.
#include <stdio.h>
#include <string.h>

#include "board/bsp/bsp.h"
#include "config/panel.h"
#include "gfx/gfx_state.h"
#include "gfx/gui.h"
#include "macro/macro.h"
#include "resource/resource.h"
#include "serial/serial.h"
#include "settings/settings.h"

static bool readNumber(const char *p, int *n) {
    if (*p < '0' || *p > '9') return false;
    int v = 0, digits = 0;
    while (*p >= '0' && *p <= '9') {
        if (++digits > 4) return false;
        v = v * 10 + (*p++ - '0');
    }
    *n = v;
    return *p == 0;
}

bool macroLiveNumber(const char *form, int32_t *value) {
    int n;
    switch (form[0]) {
    case 'H':
    case 'W': {
        if (!readNumber(form + 1, &n)) return false;
        const ExtRecord *r = QV_GetExtBitmap(n);
        if (!r) return false;
        *value = form[0] == 'H' ? QV_BitmapHeight(r) : QV_BitmapWidth(r);
        return true;
    }
    case 'L':
        return readNumber(form + 1, &n) && macroSliderValue && macroSliderValue(n, value);
    case 'V':
        if (form[1]) return false;
        *value = eepromData[CFG_BEEP_VOL];
        return true;
    case 'B':
        if (form[1]) return false;
        *value = eepromData[CFG_BRITE];
        return true;
    case 'X':
    case 'Y': {
        if (!form[1] || form[2]) return false;
        const bool x = form[0] == 'X';
        switch (form[1]) {
        case 'm':
            *value = (x ? panelConfig.width : panelConfig.height) - 1;
            return true;
        case 'c':
            *value = (x ? panelConfig.width : panelConfig.height) / 2;
            return true;
        case 'o':
            *value = x ? Origin_X : Origin_Y;
            return true;
        case 's': // the text cursor, from the origin
            *value = x ? GUI_GetDispPosX() - Origin_X : GUI_GetDispPosY() - Origin_Y;
            return true;
        case 'r':
        case 'a': {
            int32_t tx, ty;
            bool (*touch)(int32_t *, int32_t *) = form[1] == 'r' ? macroTouchRelative : macroTouchAbsolute;
            if (!touch || !touch(&tx, &ty)) return false;
            *value = x ? tx : ty;
            return true;
        }
        default:
            return false;
        }
    }
    default:
        return false;
    }
}

bool macroLiveText(const char *form, char *buf, int size) {
    if (strcmp(form, "T") == 0) {
        int t = bsp_temperature_tenths();
        if (t < -300 || t > 999) {
            snprintf(buf, (size_t)size, "*****");
        } else {
            int a = t < 0 ? -t : t;
            snprintf(buf, (size_t)size, "%c%02d.%d", t < 0 ? '-' : '+', a / 10, a % 10);
        }
        return true;
    }
    if (strcmp(form, "$BAUD0") == 0) {
        uint32_t rate = baudrate0;
        if (rate < 1000)
            snprintf(buf, (size_t)size, "%d", (int)rate);
        else
            snprintf(buf, (size_t)size, "%d,%d", (int)(rate / 1000), (int)(rate % 1000));
        return true;
    }
    return false;
}
