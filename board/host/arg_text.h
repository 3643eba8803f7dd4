// The simulator's and the bus program's readers of numbers and texts given on their command lines
// and in their event and script files.
#pragma once

#include <ctype.h>
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

// An unsigned number up to max (decimal, 0x hexadecimal or 0 octal); false for anything else.
inline bool parseNumber(const char *text, uint64_t max, uint64_t &value) {
    if (!text || !*text || *text == '-') return false;
    errno = 0;
    char *end;
    unsigned long long v = strtoull(text, &end, 0);
    if (errno || *end || v > max) return false;
    value = v;
    return true;
}

// A text with the escapes \\r \\n \\t \\0 \\xHH and \\\\; false for any other escape.
inline bool parseText(const char *text, std::string &out) {
    out.clear();
    for (const char *p = text; *p; p++) {
        if (*p != '\\') {
            out.push_back(*p);
            continue;
        }
        p++;
        switch (*p) {
        case 'r':
            out.push_back('\r');
            break;
        case 'n':
            out.push_back('\n');
            break;
        case 't':
            out.push_back('\t');
            break;
        case '0':
            out.push_back('\0');
            break;
        case '\\':
            out.push_back('\\');
            break;
        case 'x': {
            int v = 0, n = 0;
            while (n < 2 && isxdigit((unsigned char)p[1])) {
                char c = *++p;
                v = v * 16 + (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
                n++;
            }
            if (!n) return false;
            out.push_back((char)v);
            break;
        }
        default:
            return false;
        }
    }
    return true;
}
