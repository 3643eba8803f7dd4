// Macro engine: macros from the resource image (or the built-in table), register variables and
// their expansion into command lines, one-operator arithmetic, and the one-entry macro queue.
#pragma once

#include <stdint.h>

// ---- execution state ---------------------------------------------------------------------------
enum { MACRO_MAX_DEPTH = 4, MACRO_MAX_ARGS = 10, MACRO_LABEL_MAX = 32, MACRO_LINE_SIZE = 129 };

// Runs after every line a macro has run, so that touches are served while a macro runs; the touch
// room is above this one and is installed here (app/hooks.cpp).
extern void (*macroLineDone)(void);
extern uint8_t macroNotify; // 1 start notices, 2 end notices, 3 both (other values: none)
extern int macroVerbose;    // "*macdebug": echo every macro line before it runs
extern uint8_t macroDepth;  // processMacro calls in progress, 0..4 (the graphics state is saved per depth)
extern int ExecState;

void QV_Macros_Init(void);

// Runs macro k with its argument text (may be empty or null) from its start, or entered at a
// label (":name"; null or empty: no label). Returns the result of the last line run, or 0.
int processMacro(int k, const char *args, const char *label);

// ---- the macro store -----------------------------------------------------------------------------
// What the executor needs of one macro, wherever it is stored.
struct MacroView {
    const char *text; // lines back to back, each NUL-terminated
    const char *end;  // no line reaches past this
    uint16_t lines;
    const char *name; // "" when it has none
};
// Macro k (1-based): from the built-in table while it is enabled, else from the resource image
// (1..255 and at most the table's entry count). True when it exists; view may be null.
bool QV_GetMacro(int k, MacroView *view);

// A table compiled into the firmware, used in place of the resource image's macros while enabled.
struct InternalMacro {
    const char *text; // lines back to back, each NUL-terminated
    uint16_t lines;
    uint16_t number;
};
void QV_EnableInternalMacros(const InternalMacro *table, int count);
void QV_DisableInternalMacros(void);
extern const InternalMacro builtinMacros[];
extern const int builtinMacroCount;

// Name or number to macro number. 1 with k set; 0 after a message (k: -1..-4, or 0 when the name
// is not in the table).
int convertStringtoIndexMacro(const char *text, int *k);
// The name of macro k, or null.
const char *convertIndextoStringMacro(int *k);
// Splits "name[:label] rest" at *p (leading blanks skipped): the name is terminated in place; at a
// ':' the rest moves one byte right so that the label keeps its ':' (*rest points at it, result 1);
// else *rest points after the blank (result 0). The buffer needs one spare byte.
int formatMacroNameString(char **p, char **rest);
// "lsmac" and "lsmac N" (the "ls" command hands these lines over).
int macroListing(char *line);

// ---- the queue -----------------------------------------------------------------------------------
enum : uint32_t { MACRO_QUEUE_NOARGS = 0x200 };
extern uint32_t macroQueued; // 0 none; k, or k + 0x200 queued without new arguments
extern char macroQueuedArgs[130];
extern char macroQueuedLabel[MACRO_LABEL_MAX + 1];

void scheduleMacro(int k, const char *args);
int pendingMacro(void);
void processScheduledMacro(void);

// ---- registers -------------------------------------------------------------------------------------
enum { MACRO_INT_REGS = 20, MACRO_POINTS = 10, MACRO_STRINGS = 10, MACRO_STRING_MAX = 80 };
enum : uint16_t { EEPROM_USER_BASE = 0x1000 }; // e0..eF: EEPROM bytes outside the configuration block

struct MacroPoint {
    int32_t x, y;
};
extern int32_t iMem[MACRO_INT_REGS];
extern MacroPoint pt[MACRO_POINTS];
extern char mString[MACRO_STRINGS][MACRO_STRING_MAX + 1];
extern char memoryString[MACRO_STRING_MAX + 1];

void setMacro_iMem(int n, int32_t v);
int32_t getMacro_iMem(int n);
void setMacro_pt(int n, int32_t x, int32_t y);
int32_t getMacro_ptX(int n);
int32_t getMacro_ptY(int n);
void setMacroString2(const char *text, int n);
const char *getMacroString2(int n);
void pushMacroString(const char *text, int limit);
void pushMacroString2(const char *text, int n, int limit);
void popMacroString(int k);
void popMacroString2(int k, int n);

// ---- expansion and arithmetic ---------------------------------------------------------------------
// Writes `in` with every backquoted variable replaced by its value (at most size - 1 characters).
// args: the ten argument texts of the running macro (null, or null entries: nothing given).
void expandVariables(char *out, int size, const char *in, const char *const *args);
// Writes `in` with every backquoted one-operator arithmetic form replaced by its value.
void processMath(char *out, int size, const char *in);
// Appends src at dst when it fits in space (the terminator included); else nothing. Returns the
// number of characters appended.
int safeStrAppend(char *dst, const char *src, int space);

// The main loop's form: a host line has no macro arguments; the buffers are 130 bytes.
void expandVariables(const char *in, char *out, const char *args);
void processMath(const char *in, char *out);

// ---- live values of the expansion (macro/live.cpp) ------------------------------------------------
// A number-valued system form (H, W, L, X?, Y?, V, B): false when it has no value now.
bool macroLiveNumber(const char *form, int32_t *value);
// A text-valued system form (T, $BAUD0): false when it has no value now.
bool macroLiveText(const char *form, char *buf, int size);
// The touch room provides these (each false when it has nothing to report): the last touch
// relative to the touched hotspot and absolute, and the value of the linear slider with that id.
// Until it is part of the build the forms Xr, Yr, Xa, Ya and L yield nothing.
__attribute__((weak)) bool macroTouchRelative(int32_t *x, int32_t *y);
__attribute__((weak)) bool macroTouchAbsolute(int32_t *x, int32_t *y);
__attribute__((weak)) bool macroSliderValue(int id, int32_t *value);

// ---- commands of this room (return the interpreter's result code) -------------------------------
int cmd_set(char *line);
int cmd_get(char *line);
int cmd_mpush(char *line);
int cmd_mpop(char *line);
int cmd_m(char *line);
int cmd_sys_macdebug(char *line);
int cmd_sys_macnote(char *line);
int cmd_sys_DEMOMAC(char *line);
int cmd_sys_PONMAC(char *line);
