// Token readers of the control and setting commands, and their number reply.
#include "app/control_args.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/console.h"
#include "base/parse.h"
#include "gfx/gfx_state.h"

static char *skipBlanks(char *p) {
    while (*p == ' ' || *p == '\t') p++;
    return p;
}

static bool tokenEnd(char c) {
    return c == 0 || c == ' ' || c == '\t';
}

bool nextNumber(char **p, int32_t *value) {
    char *s = skipBlanks(*p), *end;
    if (!*s) return false;
    long v = strtol(s, &end, 10);
    if (end == s || !tokenEnd(*end)) return false;
    // Saturated to 32 bits, as the board's long is.
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    *value = (int32_t)v;
    *p = end;
    return true;
}

bool nextColour(char **p, GUI_COLOR *colour) {
    char *s = skipBlanks(*p), word[8];
    size_t len = 0;
    while (!tokenEnd(s[len])) len++;
    if (len != 3 && len != 6) return false;
    memcpy(word, s, len);
    word[len] = 0;
    int c = atoBGR(word);
    if (c < 0) return false;
    *colour = (GUI_COLOR)c;
    *p = s + len;
    return true;
}

bool atEnd(const char *p) {
    while (*p == ' ' || *p == '\t') p++;
    return *p == 0;
}

bool areaFromOrigin(int32_t *x0, int32_t *y0, int32_t *x1, int32_t *y1) {
    *x0 += Origin_X;
    *x1 += Origin_X;
    *y0 += Origin_Y;
    *y1 += Origin_Y;
    return areaIsOnScreen(*x0 < *x1 ? *x0 : *x1, *y0 < *y1 ? *y0 : *y1, *x0 < *x1 ? *x1 : *x0,
                          *y0 < *y1 ? *y1 : *y0);
}

void replyNumber(long v) {
    snprintf(out_buffer, sizeof out_buffer, "%ld\r", v);
    txString(out_buffer);
}
