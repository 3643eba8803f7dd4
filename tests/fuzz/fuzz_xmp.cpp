// One upload line as the display's ring gives it (at most 256 characters, no CR). Besides the
// sanitizers, the decoder must keep its promises: never more than the limit, an overflow only with
// the limit reached, and the bytes it decodes, encoded again the way a host does, decode to the
// same bytes.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "resource/xmp_line.h"

static std::string encode(const uint8_t *data, uint32_t n) {
    static const char special[] = {0x20, 0x00, 0x08, 0x0A, 0x0D, 0x11, 0x13, 0x1B};
    static const char letter[] = {' ', '0', 'B', 'N', 'R', 'X', 'Y', '['};
    std::string s;
    for (uint32_t i = 0; i < n; i++) {
        const void *hit = memchr(special, data[i], sizeof special);
        if (hit) {
            s += ' ';
            s += letter[(const char *)hit - special];
        } else {
            s += (char)data[i];
        }
    }
    return s;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > XMP_LINE_MAX) return 0;
    // Exactly the size the line holds, so that a read past it is caught.
    char *line = (char *)malloc(size ? size : 1);
    memcpy(line, data, size);
    uint8_t out[XMP_DATA_MAX];
    const XmpLine r = xmpDecodeLine(line, (uint32_t)size, out, XMP_DATA_MAX);
    free(line);
    if (r.count > XMP_DATA_MAX || (r.overflow && r.count != XMP_DATA_MAX) || (r.overflow && r.ended)) abort();
    const std::string again = encode(out, r.count);
    uint8_t back[XMP_DATA_MAX];
    const XmpLine r2 = xmpDecodeLine(again.data(), (uint32_t)again.size(), back, XMP_DATA_MAX);
    if (r2.count != r.count || r2.overflow || r2.ended || memcmp(back, out, r.count) != 0) abort();
    return 0;
}
