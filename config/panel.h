// The panel build configurations: everything that differs between the three firmware builds.
// The firmware is compiled once; each program links exactly one of the definitions of panelConfig.
#pragma once

#include <stdint.h>

struct PanelConfig {
    const char *panelName;     // reply of "*panel" when no configuration name is set
    const char *versionFormat; // "%s V%d.%d.%d WVGA " / "... VGA "
    uint16_t width;
    uint16_t height;
    uint8_t hfp, hpw, hbp; // default horizontal timing (pixel clocks)
    uint8_t vfp, vpw, vbp; // default vertical timing (lines)
    uint8_t maxBrite;      // default PWM value of level 255
    uint8_t minBrite;      // default PWM value of level 0
    uint16_t powerOnDelayMs; // after panel power-on, before backlight and panel signals
    int16_t calCentreX;      // logical x of the centre calibration mark
    int16_t calRightX;       // logical x of the right calibration marks
    int32_t legacyRightX;    // default of the legacy calibration word for the old right x
    uint16_t imageRowBuffer; // row buffer of the SD image drawing, bytes
    uint8_t idleSignalHigh;  // idle level of the build-dependent panel signal while off
};

extern const PanelConfig panelConfig;

// The largest panel of all builds: fixed buffers are sized for it.
enum : uint32_t { PANEL_MAX_WIDTH = 800, PANEL_MAX_HEIGHT = 480 };
