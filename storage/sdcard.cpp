// SD card slot. Minimal until the storage issue lands: no card is ever used.
#include "storage/sdcard.h"

void SDhotplugUpdate(void) {}
void SDcheckHotplug(void) {}
int SDisInitialized(void) { return 0; }
void SDhotplugInitialized(void) {}
void SDhotplugFailedToInit(void) {}
int initialize_media(void) { return 0; }
