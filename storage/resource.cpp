// Resource image. Until its issue lands no image is loaded.
#include "storage/resource.h"

uint32_t ExtMemSize;
uint32_t Flash1Size, Flash1SectorSize, Flash1NumSectors;
uint8_t splashShown;

void QV_Load_ExtMem(void) {}
int QV_Check_Demo(void) { return 0; }
