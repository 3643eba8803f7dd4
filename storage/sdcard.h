// SD card slot: hot-plug state, card initialisation and block access.
#pragma once

#include <stdint.h>

void SDhotplugUpdate(void); // from the 1 ms tick: debounce
void SDcheckHotplug(void);  // from the main loop: pending initialisation or clean-up
int SDisInitialized(void);
void SDhotplugInitialized(void);
void SDhotplugFailedToInit(void);
int initialize_media(void);
