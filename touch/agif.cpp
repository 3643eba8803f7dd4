// Animated GIF playback from the resource image. The main loop calls handle_agif once per pass; it
// draws the next frame when the 1 ms tick has counted the previous frame's delay down to 0.
#include "touch/agif.h"

#include <stdio.h>

#include "base/parse.h"
#include "board/services/timer.h"
#include "gfx/gfx_state.h"
#include "gfx/gif_decode.h"
#include "resource/resource.h"
#include "serial/serial.h"
#include "touch/touch.h"

uint8_t agif_running, agif_run_forever;

static int32_t gif_frame_image;
static const uint8_t *gif_location;
static uint32_t gif_size;
static int32_t gif_x_coord, gif_y_coord;
static GUI_GIF_INFO GifInfo;
static GUI_GIF_IMAGE_INFO ImageInfo;
static int32_t gif_repeat_count;

int agif_start(char *line) {
    int ignored, res, x, y, repeat;
    if (sscanf(line, "agif %d %d %d %d %d", &ignored, &res, &x, &y, &repeat) != 5) return 0;
    if (agif_running) {
        perr(":agif already running\r");
        return 0;
    }
    // A resource that is not a GIF with frames is refused rather than played as nothing.
    uint32_t size = 0;
    const uint8_t *gif = QV_GetExtGIF(res, &size);
    GUI_GIF_INFO info;
    if (!gif || GUI_GIF_GetInfo(gif, size, &info) != 0 || info.NumImages == 0) return 0;
    gif_x_coord = x + Origin_X;
    gif_y_coord = y + Origin_Y;
    agifTimer = 0;
    gif_frame_image = 0;
    gif_repeat_count = repeat;
    agif_run_forever = repeat == 0;
    gif_location = gif;
    gif_size = size;
    GifInfo = info;
    agif_running = 1;
    return 1;
}

int agif_disable(char *) {
    agif_running = 0;
    return 1;
}

void init_agif(void) {
    agif_running = 0;
}

void handle_agif(void) {
    if (!agif_running || agifTimer != 0) return;
    if (gif_frame_image < GifInfo.NumImages) {
        GUI_GIF_DrawSub(gif_location, gif_size, gif_x_coord, gif_y_coord, gif_frame_image);
        if (GUI_GIF_GetImageInfo(gif_location, gif_size, &ImageInfo, gif_frame_image) != 0)
            ImageInfo.Delay = 0;
        agifTimer = ImageInfo.Delay * 10;
        gif_frame_image++;
        return;
    }
    if (gif_repeat_count > 0) gif_repeat_count--;
    if (!agif_run_forever && gif_repeat_count == 0)
        agif_running = 0; // the last frame stays
    else
        gif_frame_image = 0;
}

static bool info(int res, GUI_GIF_INFO *out) {
    uint32_t size = 0;
    const uint8_t *gif = QV_GetExtGIF(res, &size);
    return gif && GUI_GIF_GetInfo(gif, size, out) == 0;
}

int agif_width(int res) {
    GUI_GIF_INFO i;
    return info(res, &i) ? i.xSize : 0;
}

int agif_height(int res) {
    GUI_GIF_INFO i;
    return info(res, &i) ? i.ySize : 0;
}

int agif_frame_count(int res) {
    GUI_GIF_INFO i;
    return info(res, &i) ? i.NumImages : 0;
}

int cmd_agif(char *line) {
    return agif_start(line) ? CMD_OK : CMD_FAIL;
}

int cmd_agifd(char *line) {
    return agif_disable(line) ? CMD_OK : CMD_FAIL;
}
