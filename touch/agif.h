// Animated GIF playback: one GIF resource playing at a screen position, a frame per delay.
#pragma once

#include <stdint.h>

extern uint8_t agif_running, agif_run_forever;

int agif_start(char *line);   // "agif ignored resource x y repeat"; 1 or 0
int agif_disable(char *line); // "agifd [n]"; always 1
// Width, height and frame count of GIF resource `res`; 0 when it is not a GIF.
int agif_width(int res);
int agif_height(int res);
int agif_frame_count(int res);

// Commands
int cmd_agifd(char *line);
int cmd_agif(char *line);
