// The line encoding of an image upload ("xmp"): every character of a line is a data byte, except a
// blank, which opens a two-character escape for the bytes a text line cannot carry.
#pragma once

#include <stdint.h>

enum : uint32_t {
    XMP_LINE_MAX = 256, // characters of one upload line before its CR
    XMP_DATA_MAX = 128, // data bytes one line may carry
};

struct XmpLine {
    uint32_t count; // data bytes decoded
    bool ended;     // the line carried the end escape (the bytes before it still count)
    bool overflow;  // more than `max` data bytes: the line is refused whole
};

// Decodes len characters of line (no CR) into at most max bytes of out.
XmpLine xmpDecodeLine(const char *line, uint32_t len, uint8_t *out, uint32_t max);
