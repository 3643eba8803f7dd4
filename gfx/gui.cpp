// Graphics library. Until the drawing issue lands: the panel set-up only.
#include "gfx/gui.h"

#include "board/bsp/bsp.h"
#include "config/panel.h"

void GUI_Init(void) {
    bsp_lcd_setup(BSP_VIDEORAM_BASE, panelConfig.width, panelConfig.height);
    bsp_lcd_timing(panelConfig.hfp, panelConfig.hpw, panelConfig.hbp, panelConfig.vfp, panelConfig.vpw,
                   panelConfig.vbp);
}
