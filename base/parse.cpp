// Helpers every command uses to pick its line apart.
#include "base/parse.h"

#include <ctype.h>
#include <stddef.h>

char out_buffer[129];

char *skipLeadingWhitespace(char *s) {
    if (!s) return s;
    while (*s && isspace((unsigned char)*s)) s++;
    return s;
}

// A "//" outside double quotes starts a comment; the blanks (and slashes) right before it go too,
// while blanks at the end of a line without a comment stay.
bool killTrailingComment(char *s) {
    if (!s) return false;
    bool inQuotes = s[0] == '"';
    int run = 0;
    for (int i = 0; s[i]; i++) {
        char c = s[i];
        if (i > 0 && c == '"' && s[i - 1] != '\\') inQuotes = !inQuotes;
        if (!inQuotes && c == '/' && s[i + 1] == '/') {
            s[i - run] = 0;
            break;
        }
        if (isspace((unsigned char)c) || c == '/')
            run++;
        else
            run = 0;
    }
    return s[0] != 0;
}

int atoh(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

uint8_t shtoU8(const char *p) {
    return (uint8_t)(atoh(p[0]) << 4 | atoh(p[1]));
}

char *escstrl(char *s, char delimiter, char **rest, int *length) {
    if (!s) return nullptr;
    char *r = s;
    while (*r && *r != delimiter) r++;
    if (!*r) return nullptr;
    r++;
    // The text moves to the front of the buffer; the write position never passes the read position.
    char *w = s;
    while (*r && *r != delimiter) {
        char c = *r++;
        if (c != '\\') {
            *w++ = c;
            continue;
        }
        char e = *r;
        if (!e) break; // a backslash at the end of the line ends the text
        r++;
        switch (e) {
        case 'n':
            *w++ = '\n';
            break;
        case 'r':
            *w++ = '\r';
            break;
        case '0':
            *w++ = 0;
            break;
        case 'x':
        case 'X':
            if (!r[0] || !r[1]) { // fewer than two digits left: the text ends here
                while (*r) r++;
                goto done;
            }
            *w++ = (char)shtoU8(r);
            r += 2;
            break;
        default:
            *w++ = e;
            break;
        }
    }
done:
    if (length) *length = (int)(w - s);
    *w = 0;
    if (rest) *rest = *r == delimiter ? r + 1 : r;
    return s;
}

char *escstr(char *s, char delimiter, char **rest) {
    return escstrl(s, delimiter, rest, nullptr);
}

char *strtokr(char *s, char delimiter, char **rest) {
    if (!s) {
        if (rest) *rest = nullptr;
        return nullptr;
    }
    while (*s == delimiter) s++;
    char *token = s;
    while (*s && *s != delimiter) s++;
    if (!*s) {
        if (rest) *rest = nullptr;
        return token;
    }
    *s++ = 0;
    while (*s == delimiter) s++;
    if (rest) *rest = s;
    return token;
}
