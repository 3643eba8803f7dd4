// The macro registers: 20 integers, 10 points, 10 strings and the memory string. They are shared
// by every macro and host line and live from start-up until power-off.
#include <string.h>

#include "macro/macro.h"

int32_t iMem[MACRO_INT_REGS];
MacroPoint pt[MACRO_POINTS];
char mString[MACRO_STRINGS][MACRO_STRING_MAX + 1];
char memoryString[MACRO_STRING_MAX + 1];

void setMacro_iMem(int n, int32_t v) {
    if (n >= 0 && n < MACRO_INT_REGS) iMem[n] = v;
}

int32_t getMacro_iMem(int n) {
    return n >= 0 && n < MACRO_INT_REGS ? iMem[n] : 0;
}

void setMacro_pt(int n, int32_t x, int32_t y) {
    if (n < 0 || n >= MACRO_POINTS) return;
    pt[n].x = x;
    pt[n].y = y;
}

int32_t getMacro_ptX(int n) {
    return n >= 0 && n < MACRO_POINTS ? pt[n].x : 0;
}
int32_t getMacro_ptY(int n) {
    return n >= 0 && n < MACRO_POINTS ? pt[n].y : 0;
}

void setMacroString2(const char *text, int n) {
    if (n < 0 || n >= MACRO_STRINGS || !text) return;
    strncpy(mString[n], text, MACRO_STRING_MAX);
    mString[n][MACRO_STRING_MAX] = 0;
}

const char *getMacroString2(int n) {
    return n >= 0 && n < MACRO_STRINGS ? mString[n] : nullptr;
}

// Appends at most limit - (current length) characters; limit 0 (or above the capacity) means the
// register's capacity of 80.
static void push(char *reg, const char *text, int limit) {
    if (!text) return;
    if (limit == 0 || limit > MACRO_STRING_MAX) limit = MACRO_STRING_MAX;
    int len = (int)strlen(reg);
    int room = limit - len;
    if (room <= 0) return;
    int n = 0; // strnlen is POSIX, not standard C: the ARM build's library does not declare it
    while (n < room && text[n]) n++;
    memcpy(reg + len, text, (size_t)n);
    reg[len + n] = 0;
}

// Removes the last k characters; k negative or larger than the length empties the string.
static void pop(char *reg, int k) {
    int len = (int)strlen(reg);
    reg[(k < 0 || k > len) ? 0 : len - k] = 0;
}

void pushMacroString(const char *text, int limit) {
    push(memoryString, text, limit);
}

void pushMacroString2(const char *text, int n, int limit) {
    if (n >= 0 && n < MACRO_STRINGS) push(mString[n], text, limit);
}

void popMacroString(int k) {
    pop(memoryString, k);
}

void popMacroString2(int k, int n) {
    if (n >= 0 && n < MACRO_STRINGS) pop(mString[n], k);
}
