// Damaged GIF files: the information of every frame, every frame drawn in turn at the screen's
// corners and through small windows, and the comments.
#include "tests/fuzz/decoder_fuzz.h"
#include "gfx/gif_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    prepare();
    if (size > (1u << 20)) return 0;
    const uint32_t n = (uint32_t)size;
    GUI_GIF_INFO info;
    if (GUI_GIF_GetInfo(data, n, &info) == 0) {
        const int32_t frames = info.NumImages < 16 ? info.NumImages : 16;
        for (int32_t k = 0; k <= frames; k++) {
            GUI_GIF_IMAGE_INFO frame;
            GUI_GIF_GetImageInfo(data, n, &frame, k);
            GUI_GIF_DrawSub(data, n, -info.xSize / 2, -info.ySize / 2, k);
            GUI_GIF_DrawSub(data, n, LCD_GetXSize() - 5, LCD_GetYSize() - 5, k);
        }
    }
    SmallWindows s{data, n, 3};
    GUI_GIF_DrawEx(smallWindows, &s, 10, 10);
    uint8_t text[40];
    GUI_GIF_GetComment(data, n, text, sizeof text, 0);
    GUI_GIF_GetCommentEx(smallWindows, &s, text, 1, 1);
    checkPool();
    return 0;
}
