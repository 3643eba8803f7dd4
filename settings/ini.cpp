// Key search in ini-style texts ("config.ini", "flash1.ini", "rundemo.ini").
#include <stdio.h>
#include <string.h>

#include "base/console.h"
#include "base/parse.h"
#include "settings/settings.h"

enum { INI_LINE_MAX = 130 }; // a quoted value is looked at on the first 130 characters of its line

static const char *lineStart(const char *text, const char *p) {
    while (p > text && p[-1] != '\n' && p[-1] != '\r') p--;
    return p;
}

static int lineLength(const char *p) {
    int n = 0;
    while (p[n] && p[n] != '\n' && p[n] != '\r') n++;
    return n;
}

// The next occurrence of key that is not on a comment line.
static const char *findKey(const char *text, const char *key) {
    const char *p = text;
    while ((p = strstr(p, key)) != nullptr) {
        if (*lineStart(text, p) != '#') return p;
        p++;
    }
    return nullptr;
}

static void syntaxError(const char *at) {
    perr(":Syntax error \"%.*s\"\r", lineLength(at), at);
}

int lookfor(const char *text, const char *key, char mode, int *value, int verbose) {
    if (!text || !key || !*key) return 0;
    const char *at = findKey(text, key);
    if (!at) return 0;
    bool hex = mode == 'h' || mode == 'x';
    int v = 0;
    unsigned h = 0;
    bool ok = hex ? sscanf(at, "%*s = %x", &h) == 1 || sscanf(at, "%*s %x", &h) == 1
                  : sscanf(at, "%*s = %d", &v) == 1 || sscanf(at, "%*s %d", &v) == 1;
    if (!ok) {
        if (verbose) syntaxError(at);
        return 0;
    }
    if (hex) v = (int)h;
    if (verbose) {
        if (hex)
            pout(":%s = 0x%X\r", key, (unsigned)v);
        else
            pout(":%s = %d\r", key, v);
    }
    *value = v;
    return 1;
}

int lookforQuotedString(const char *text, const char *key, char *destination, int capacity, int verbose) {
    if (!text || !key || !*key || !destination || capacity <= 0) return 0;
    const char *at = findKey(text, key);
    if (!at) return 0;
    char c;
    if (sscanf(at, "%*s = \"%c", &c) != 1 && sscanf(at, "%*s \"%c", &c) != 1) {
        if (verbose) syntaxError(at);
        return 0;
    }
    // The quoted text lies on this line; the escapes are decoded in a copy of it.
    char line[INI_LINE_MAX + 1];
    int n = lineLength(at);
    if (n > INI_LINE_MAX) n = INI_LINE_MAX;
    memcpy(line, at, (size_t)n);
    line[n] = 0;
    char *rest;
    int length;
    char *quoted = escstrl(line, '"', &rest, &length);
    if (!quoted || length + 1 > capacity) return 0;
    memcpy(destination, quoted, (size_t)length);
    destination[length] = 0;
    if (verbose) pout(":%s = \"%s\"\r", key, destination);
    return 1;
}
