// The resource image in external memory.
#pragma once

#include <stdint.h>

extern uint32_t ExtMemSize;
extern uint32_t Flash1Size, Flash1SectorSize, Flash1NumSectors;
extern uint8_t splashShown;

void QV_Load_ExtMem(void);
int QV_Check_Demo(void);
