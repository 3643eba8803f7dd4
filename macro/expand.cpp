// Variable expansion and one-operator arithmetic: the two rewriting steps every command line takes
// before the interpreter sees it. Neither ever fails: a form that cannot be resolved disappears (or,
// for arithmetic, stays as text), a value that does not fit is dropped whole, and the output is cut
// at its buffer.
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "board/bsp/bsp.h"
#include "macro/macro.h"
#include "macro/scan32.h"

// The random form's generator: a 64-bit linear congruence (seed 1), kept here rather than taken
// from the C library so that the PC and the board give the same numbers.
static uint64_t randomState = 1;
static uint32_t macroRandom(void) {
    randomState = randomState * 6364136223846793005ull + 1u;
    return (uint32_t)(randomState >> 32) & 0x7FFFFFFFu;
}

namespace {

enum { FORM_MAX = 96, VALUE_MAX = 170 };

// Output with the whole-or-nothing rule for values.
struct Writer {
    char *buf;
    int size;
    int len;
    bool full() const { return len >= size - 1; }
    void put(char c) {
        if (!full()) buf[len++] = c;
    }
    void append(const char *s) { len += safeStrAppend(buf + len, s, size - len); }
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A decimal index of at most four digits that ends the text (or stops at `stop`).
bool readIndex(const char *&p, int &n) {
    if (!isDigit(*p)) return false;
    n = 0;
    int digits = 0;
    while (isDigit(*p)) {
        if (++digits > 4) return false;
        n = n * 10 + (*p++ - '0');
    }
    return true;
}

// A signed decimal for the random form.
bool readSigned(const char *&p, int32_t &v) {
    bool neg = *p == '-';
    if (*p == '-' || *p == '+') p++;
    if (!isDigit(*p)) return false;
    int64_t acc = 0;
    while (isDigit(*p)) {
        acc = acc * 10 + (*p++ - '0');
        if (acc > 0x80000000LL) return false;
    }
    if (neg) acc = -acc;
    if (acc > INT32_MAX) return false;
    v = (int32_t)acc;
    return true;
}

// Width 1..80 beginning with a digit 1-9.
bool readWidth(const char *&p) {
    if (*p < '1' || *p > '9') return false;
    int w = 0;
    while (isDigit(*p)) w = w * 10 + (*p++ - '0');
    return w >= 1 && w <= 80;
}

// '%', optionally "+0" or one of '-', '0', '+', then a width.
bool numberPrefix(const char *p) {
    p++;
    if (p[0] == '+' && p[1] == '0')
        p += 2;
    else if (*p == '-' || *p == '0' || *p == '+')
        p++;
    return readWidth(p) && *p == 0;
}

// '%', optionally '-', a width, optionally '.' and a precision above 0.
bool stringPrefix(const char *p) {
    p++;
    if (*p == '-') p++;
    if (!readWidth(p)) return false;
    if (*p == '.') {
        p++;
        if (!isDigit(*p)) return false;
        int precision = 0;
        while (isDigit(*p)) precision = precision * 10 + (*p++ - '0');
        if (precision <= 0) return false;
    }
    return *p == 0;
}

void formatNumber(char *value, const char *prefix, int32_t v) {
    char fmt[12];
    snprintf(fmt, sizeof fmt, "%sd", prefix);
    snprintf(value, VALUE_MAX, fmt, (int)v);
}

void formatText(char *value, const char *prefix, const char *text) {
    char fmt[12];
    snprintf(fmt, sizeof fmt, "%ss", prefix);
    snprintf(value, VALUE_MAX, fmt, text);
}

// Resolves one form (the text between the backquotes) into `value`; false when it yields nothing.
bool resolveForm(const char *form, const char *const *args, char *value) {
    char prefix[8] = "%";
    const char *var = form;
    if (form[0] == '%') {
        const char *blank = strchr(form, ' ');
        if (!blank || blank - form < 2 || blank - form > 5) return false;
        memcpy(prefix, form, (size_t)(blank - form));
        prefix[blank - form] = 0;
        var = blank + 1;
    }
    const bool number = var[0] && strchr("eipLRXYVBHW", var[0]);
    const bool text = var[0] && strchr("0123456789MsT$", var[0]);
    if (!number && !text) return false;
    if (form[0] == '%' && !(number ? numberPrefix(prefix) : stringPrefix(prefix))) return false;

    const char *p = var + 1;
    int n;
    switch (var[0]) {
    case 'M':
        if (*p) return false;
        formatText(value, prefix, memoryString);
        return true;
    case 's':
        if (!readIndex(p, n) || *p || n >= MACRO_STRINGS) return false;
        formatText(value, prefix, mString[n]);
        return true;
    case 'i':
        if (!readIndex(p, n) || *p || n >= MACRO_INT_REGS) return false;
        formatNumber(value, prefix, iMem[n]);
        return true;
    case 'e': {
        if (!isxdigit((unsigned char)p[0]) || p[1]) return false;
        n = isDigit(p[0]) ? p[0] - '0' : (tolower((unsigned char)p[0]) - 'a' + 10);
        formatNumber(value, prefix, EEpromRead((uint16_t)(EEPROM_USER_BASE + n)));
        return true;
    }
    case 'p': {
        if (!readIndex(p, n) || n >= MACRO_POINTS) return false;
        if (*p == 0) {
            char x[VALUE_MAX], y[VALUE_MAX];
            formatNumber(x, prefix, pt[n].x);
            formatNumber(y, prefix, pt[n].y);
            size_t nx = strlen(x), ny = strlen(y);
            if (nx + 1 + ny >= VALUE_MAX) return false;
            memcpy(value, x, nx);
            value[nx] = ' ';
            memcpy(value + nx + 1, y, ny + 1);
            return true;
        }
        if (p[0] != '.' || (p[1] != 'x' && p[1] != 'y') || p[2]) return false;
        formatNumber(value, prefix, p[1] == 'x' ? pt[n].x : pt[n].y);
        return true;
    }
    case 'R': {
        int32_t a, b;
        if (!readSigned(p, a) || *p++ != ':' || !readSigned(p, b) || *p || b < a) return false;
        uint32_t span = (uint32_t)b - (uint32_t)a + 1u; // 0: the whole 32-bit range
        uint32_t r = macroRandom();
        formatNumber(value, prefix, (int32_t)((uint32_t)a + (span ? r % span : r)));
        return true;
    }
    case 'T':
    case '$': {
        char live[VALUE_MAX];
        if (!macroLiveText(var, live, sizeof live)) return false;
        formatText(value, prefix, live);
        return true;
    }
    default:
        break;
    }
    if (isDigit(var[0])) { // argument n: copied as it is, at most 80 characters
        if (var[1] || !args || !args[var[0] - '0']) return false;
        strncpy(value, args[var[0] - '0'], MACRO_STRING_MAX);
        value[MACRO_STRING_MAX] = 0;
        return true;
    }
    int32_t v;
    if (!macroLiveNumber(var, &v)) return false;
    formatNumber(value, prefix, v);
    return true;
}

// "(a op b)" from '(' to the closing ')' at `end`: true with the result. 32-bit arithmetic that
// wraps; the quotient is truncated toward zero and the remainder has the dividend's sign.
bool evaluate(const char *p, const char *end, int32_t &result) {
    int32_t a, b;
    p++; // '('
    if (!scanDec32(&p, &a)) return false;
    char op = *p++;
    if (!scanDec32(&p, &b) || p != end) return false;
    uint32_t ua = (uint32_t)a, ub = (uint32_t)b;
    switch (op) {
    case '+':
        result = (int32_t)(ua + ub);
        return true;
    case '-':
        result = (int32_t)(ua - ub);
        return true;
    case '*':
        result = (int32_t)(ua * ub);
        return true;
    case '/':
        if (b == 0) return false;
        result = (a == INT32_MIN && b == -1) ? INT32_MIN : a / b;
        return true;
    case '%':
        if (b == 0) return false;
        result = (a == INT32_MIN && b == -1) ? 0 : a % b;
        return true;
    default:
        return false;
    }
}

} // namespace

int safeStrAppend(char *dst, const char *src, int space) {
    int n = (int)strlen(src);
    if (n >= space) return 0;
    memcpy(dst, src, (size_t)n + 1);
    return n;
}

void expandVariables(char *out, int size, const char *in, const char *const *args) {
    if (size <= 0) return;
    Writer w{out, size, 0};
    // A comment ends the line only outside double-quoted text, by the rule of the comment removal,
    // so that a quoted text keeps its slashes.
    bool quoted = in[0] == '"';
    for (int i = 0; in[i] && !w.full();) {
        char c = in[i];
        if (i > 0 && c == '"' && in[i - 1] != '\\') quoted = !quoted;
        if (!quoted && c == '/' && (in[i + 1] == '/' || in[i + 1] == '*')) break;
        if (c != '`' || (i > 0 && in[i - 1] == ')')) {
            w.put(c);
            i++;
            continue;
        }
        if (in[i + 1] == '`') { // an empty form is a backquote
            w.put('`');
            i += 2;
            continue;
        }
        if (in[i + 1] == '(') { // arithmetic: left for processMath
            w.put('`');
            w.put('(');
            i += 2;
            continue;
        }
        const char *close = strchr(in + i + 1, '`');
        if (!close) { // no closing backquote: the opening one is dropped
            i++;
            continue;
        }
        int len = (int)(close - (in + i + 1));
        if (len < FORM_MAX) {
            char form[FORM_MAX], value[VALUE_MAX];
            memcpy(form, in + i + 1, (size_t)len);
            form[len] = 0;
            if (resolveForm(form, args, value)) w.append(value);
        }
        i += len + 2;
    }
    out[w.len] = 0;
}

void processMath(char *out, int size, const char *in) {
    if (size <= 0) return;
    Writer w{out, size, 0};
    for (int i = 0; in[i] && !w.full();) {
        if (in[i] != '`' || in[i + 1] != '(') {
            w.put(in[i++]);
            continue;
        }
        const char *end = in + i + 2;
        while (*end && !(end[0] == ')' && end[1] == '`')) end++;
        if (!*end) { // never closed: the backquote and '(' are dropped
            i += 2;
            continue;
        }
        int32_t result;
        if (evaluate(in + i + 1, end, result)) {
            char value[16];
            snprintf(value, sizeof value, "%d", (int)result);
            w.append(value);
        } else {
            for (const char *p = in + i + 1; p <= end; p++) w.put(*p);
        }
        i = (int)(end - in) + 2;
    }
    out[w.len] = 0;
}

// Host lines have no arguments: the empty argument set.

static const char *const nullArgs[MACRO_MAX_ARGS] = {};

void expandVariables(const char *in, char *out, const char *) {
    expandVariables(out, 130, in, nullArgs);
}

void processMath(const char *in, char *out) {
    processMath(out, 130, in);
}
