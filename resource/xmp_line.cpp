// Upload line decoding: pure, so that it can be fuzzed on its own.
#include "resource/xmp_line.h"

// The byte a blank followed by c stands for; -1: the end of the upload; -2: not an escape (the
// blank is dropped and c is data).
static int escaped(uint8_t c) {
    switch (c) {
    case ' ':
        return 0x20;
    case '0':
        return 0x00;
    case 'B':
        return 0x08;
    case 'N':
        return 0x0A;
    case 'R':
        return 0x0D;
    case 'X':
        return 0x11;
    case 'Y':
        return 0x13;
    case '[':
        return 0x1B;
    case 'Q':
    case 'q':
        return -1;
    default:
        return -2;
    }
}

XmpLine xmpDecodeLine(const char *line, uint32_t len, uint8_t *out, uint32_t max) {
    XmpLine r = {0, false, false};
    for (uint32_t i = 0; i < len; i++) {
        int b = (uint8_t)line[i];
        if (b == ' ') {
            // A blank at the very end has nothing to escape: it is dropped.
            if (++i >= len) break;
            int e = escaped((uint8_t)line[i]);
            if (e == -1) {
                r.ended = true;
                break;
            }
            b = e == -2 ? (uint8_t)line[i] : e;
        }
        if (r.count >= max) {
            r.overflow = true;
            break;
        }
        out[r.count++] = (uint8_t)b;
    }
    return r;
}
