// Number reading with the board's 32-bit semantics.
#include "macro/scan32.h"

#include <ctype.h>

#include "base/parse.h"

bool scanDec32(const char **pp, int32_t *v) {
    const char *p = *pp;
    while (isspace((unsigned char)*p)) p++;
    bool neg = *p == '-';
    if (*p == '-' || *p == '+') p++;
    if (!isdigit((unsigned char)*p)) return false;
    int64_t acc = 0;
    while (isdigit((unsigned char)*p)) {
        if (acc <= 0x80000000LL) acc = acc * 10 + (*p - '0');
        p++;
    }
    if (neg) acc = -acc;
    *v = acc > INT32_MAX ? INT32_MAX : acc < INT32_MIN ? INT32_MIN : (int32_t)acc;
    *pp = p;
    return true;
}

bool scanHex32(const char **pp, uint32_t *v) {
    const char *p = *pp;
    while (isspace((unsigned char)*p)) p++;
    bool neg = *p == '-';
    if (*p == '-' || *p == '+') p++;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && isxdigit((unsigned char)p[2])) p += 2;
    if (!isxdigit((unsigned char)*p)) return false;
    uint64_t acc = 0;
    while (isxdigit((unsigned char)*p)) {
        if (acc <= 0xFFFFFFFFULL) acc = acc * 16 + (uint64_t)atoh(*p);
        p++;
    }
    uint32_t u = acc > 0xFFFFFFFFULL ? 0xFFFFFFFFu : (uint32_t)acc;
    *v = neg ? 0u - u : u;
    *pp = p;
    return true;
}
