// WVGA build 2: 800 x 480.
#include "config/panel.h"

const PanelConfig panelConfig = {
    "WVGA_TYPE2", "%s V%d.%d.%d WVGA ", 800, 480, 40, 48, 40, 13, 3, 29, 255, 1, 1000, 399, 779, 784,
    2400, 1,
};
