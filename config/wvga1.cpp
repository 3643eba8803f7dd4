// WVGA build 1: 800 x 480.
#include "config/panel.h"

const PanelConfig panelConfig = {
    "VGG8048_PVLED", "%s V%d.%d.%d WVGA ", 800, 480, 40, 48, 40, 13, 3, 29, 0, 242, 70, 399, 779, 784,
    2400, 0,
};
