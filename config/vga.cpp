// VGA build: 640 x 480.
#include "config/panel.h"

const PanelConfig panelConfig = {
    "NEC_K2766_FUJ", "%s V%d.%d.%d VGA ", 640, 480, 32, 2, 32, 8, 2, 8, 0, 242, 10, 319, 619, 624,
    1920, 0,
};
