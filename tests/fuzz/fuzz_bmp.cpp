// Damaged BMP files: drawn from memory at the screen's corner and through small windows.
#include "tests/fuzz/decoder_fuzz.h"
#include "gfx/bmp_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    prepare();
    if (size > (1u << 20)) return 0;
    const uint32_t n = (uint32_t)size;
    GUI_BMP_Draw(data, n, -7, -7);
    SmallWindows s{data, n, 7};
    GUI_BMP_DrawEx(smallWindows, &s, LCD_GetXSize() - 30, 3);
    checkPool();
    return 0;
}
