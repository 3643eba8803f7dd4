// Macro engine. Until its issue lands, expansion copies the line unchanged and no macro exists.
#include "macro/macro.h"

#include <string.h>

uint8_t macroNotify;
int ExecState;

void QV_Macros_Init(void) {}
int processMacro(int, const char *, int) { return 0; }
int pendingMacro(void) { return 0; }
void processScheduledMacro(void) {}
void expandVariables(const char *in, char *out, const char *) {
    strncpy(out, in, 129);
    out[129] = 0;
}
void processMath(const char *in, char *out) {
    strncpy(out, in, 129);
    out[129] = 0;
}
