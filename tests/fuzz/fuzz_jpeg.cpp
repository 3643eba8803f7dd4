// Damaged JPEG files: the header, then the image drawn at the screen's corner, clipped, and through
// small windows.
#include "tests/fuzz/decoder_fuzz.h"
#include "gfx/jpeg_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    prepare();
    if (size > (1u << 20)) return 0;
    const uint32_t n = (uint32_t)size;
    GUI_JPEG_INFO info;
    if (GUI_JPEG_GetInfo(data, n, &info) != 0) return 0;
    // A header may claim 65535 x 65535 pixels, all of them decoded (grey past the data) three
    // times: seconds per input that reach no code a 4-megapixel image does not.
    if ((uint32_t)info.XSize * (uint32_t)info.YSize > (4u << 20)) return 0;
    GUI_JPEG_Draw(data, n, -3, -5);
    GUI_RECT clip = {100, 100, 140, 120};
    GUI_SetClipRect(&clip);
    GUI_JPEG_Draw(data, n, 90, 99);
    GUI_SetClipRect(nullptr);
    SmallWindows s{data, n, 5};
    GUI_JPEG_DrawEx(smallWindows, &s, LCD_GetXSize() - 20, LCD_GetYSize() - 20);
    checkPool();
    return 0;
}
