// RS485 addressed mode and the communication watchdog.
#pragma once

#include <stdint.h>

int rs485Active(void); // the RS485 mode marker is on
// Applies the stored mode: on, the display never sends XOFF, prefixes its messages and UART1
// becomes the main port; off, XOFF is allowed again (roles unchanged).
void Init_485mode(void);
int rs485LineFilter(void); // isLineAvail's address filter: 1 when the line is for this display
void processCommWatchDog(int active);
