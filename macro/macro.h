// Macro engine: running macros from the resource image, variables, scheduled macros.
#pragma once

#include <stdint.h>

extern uint8_t macroNotify; // 1 start notices, 2 end notices, 3 both
extern int ExecState;

void QV_Macros_Init(void);
int processMacro(int index, const char *args, int flags);
int pendingMacro(void);
void processScheduledMacro(void);
// Expansion of variables and arithmetic into the caller's buffers (size 130 each).
void expandVariables(const char *in, char *out, const char *args);
void processMath(const char *in, char *out);
