// Start-up and the main loop.
#pragma once

#include <stdint.h>

extern char myBuf[131];
extern char expBuf[130];
extern char locBuf[130];

void InitEverything(void);
void QV_main(void);
[[noreturn]] void GUIDEMO_main(void);

// One pass of the main loop; returns 0 when the pass found nothing to do.
int mainLoopPass(void);
// Takes one line out of the receive ring, runs it and sends its reply.
void runOneLine(void);
