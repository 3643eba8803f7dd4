// The hotspot table and touch event dispatch: every touch control is one of 256 hotspots; the main
// loop's handle_touch turns the current position into press, release, repeat and toggle events,
// each with its redraw, report and macro.
#pragma once

#include <stdint.h>

enum : int { HOTSPOTS = 256, BUTTON_SPOTS = 128 };

enum : int32_t {
    HS_INVERT = 1,
    HS_AREA = 2,
    HS_BUTTON = 3,
    HS_TOGGLE = 4,
    HS_DISABLED = 5, // added to an active type
    HS_FREE = 10,
};

// flags
enum : uint8_t {
    HF_REPORT_PRESS = 1,
    HF_REPORT_RELEASE = 2,
    HF_REPORTS = 4,
    HF_NO_REPEAT_CLICK = 8,
    HF_CENTRED = 16,
    HF_COORDS = 32,
    HF_CLICK = 64,
};
// flags2
enum : uint8_t { HF2_TYPEMATIC = 1, HF2_LABEL_FIRST = 2, HF2_LABEL_SECOND = 4, HF2_HELD = 8 };

struct HotSpot {
    int32_t type;
    int32_t x1, y1, x2, y2;
    uint8_t pressMacro, releaseMacro, flags, flags2;
};

extern HotSpot TouchHotSpots[HOTSPOTS];
extern uint8_t allowPreExistingTouch;
extern uint8_t ignoreTouch; // "touch off": handle_touch does nothing
extern uint8_t debug_touch; // "*debug": marks and diagnostic output of touches

int QV_SearchHotSpot(int32_t x, int32_t y);
int QV_Touch_HotSpot_Unset(int n);
// Frees slot n and gives it a rectangle, type and flags (screen coordinates); the finger resting
// on it is handled as a definition under a touch.
void QV_Touch_HotSpot_Set(int n, int32_t type, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint8_t flags,
                          uint8_t flags2);
void updateSpot(int pressed, int n, int report, int32_t x, int32_t y, int quiet);
void handle_spotNotReleasedWhenDefined(int n);

// Queued macro labels of controls.
void setQueuedMacroLabel(int id, int event);
int checkQueuedMacroLabel(int id, const char *label, int kind);

// Commands
int cmd_x(char *line);
int cmd_xs(char *line);
int cmd_xsnb(char *line);
int cmd_xt(char *line);
int cmd_xst(char *line);
int cmd_xxy(char *line);
int cmd_xxynb(char *line);
int cmd_xset(char *line);
int cmd_xd(char *line);
int cmd_xe(char *line);
int cmd_xc(char *line);
int cmd_xc_all(char *line);
int cmd_xa(char *line);
int cmd_xm(char *line);
int cmd_touch(char *line);
int cmd_sys_tsm(char *line);
int cmd_sys_apt(char *line);
int cmd_sys_xn_off(char *line);
int cmd_sys_debug(char *line);
int cmd_typematic(char *line);
