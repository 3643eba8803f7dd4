// The macro executor: finds a macro, walks its lines through expansion, arithmetic and the
// interpreter, with labels, ":default" sections, ":repeat", nesting to depth 4 and the ways of
// stopping it; and the one-entry queue through which touches and loads run macros from the loop.
#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "macro/macro.h"
#include "resource/resource.h"
#include "serial/rs485.h"
#include "serial/serial.h"

uint8_t macroNotify;
void (*macroLineDone)(void);
int macroVerbose;
uint8_t macroDepth;
int ExecState;

uint32_t macroQueued;
char macroQueuedArgs[130];
char macroQueuedLabel[MACRO_LABEL_MAX + 1];

static const InternalMacro *internalTable;
static int internalCount;

// The built-in table: a panel-timing adjustment screen and a button definition (arguments: button,
// x, y, label). Nothing runs them unless a table is enabled.
static const char builtinPanel[] = "ss\0z\0f 16\0t \"Panel timing adjustment\" 10 10\0"
                                   "t \"hfp `i0` hpw `i1` hbp `i2`\" 10 40\0"
                                   "t \"vfp `i3` vpw `i4` vbp `i5`\" 10 70\0sr";
static const char builtinButton[] = "bd `0` `1` `2` 1 \"`3`\" 5 5";
const InternalMacro builtinMacros[] = {
    {builtinPanel, 7, 1},
    {builtinButton, 1, 2},
};
const int builtinMacroCount = 2;

void QV_EnableInternalMacros(const InternalMacro *table, int count) {
    internalTable = table;
    internalCount = count;
}

void QV_DisableInternalMacros(void) {
    internalTable = nullptr;
    internalCount = 0;
}

void QV_Macros_Init(void) {
    memset(mString, 0, sizeof mString);
    memset(memoryString, 0, sizeof memoryString);
    macroQueued = 0;
    macroQueuedArgs[0] = 0;
    macroQueuedLabel[0] = 0;
    macroDepth = 0;
}

static void notify(const char *format, ...) __attribute__((format(printf, 1, 2)));
static void notify(const char *format, ...) {
    char text[160];
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    txNotify(text);
}

bool QV_GetMacro(int k, MacroView *view) {
    MacroView v{};
    if (internalTable) {
        if (k < 1 || k > internalCount) return false; // the table's own size bounds it
        const InternalMacro &m = internalTable[k - 1];
        v.text = m.text;
        v.lines = m.lines;
        const char *e = m.text;
        for (int i = 0; i < m.lines; i++) e += strlen(e) + 1;
        v.end = e;
        v.name = "";
    } else {
        const ExtMacroEntry *e = QV_GetExtMacro(k);
        if (!e) return false;
        v.text = QV_ExtMacroText(e, &v.end);
        if (!v.text) return false;
        v.lines = e->lines;
        v.name = nullptr; // looked up only when it is shown
    }
    if (view) *view = v;
    return true;
}

int convertStringtoIndexMacro(const char *text, int *k) {
    if (isdigit((unsigned char)text[0])) {
        long v = strtol(text, nullptr, 10);
        *k = v > INT32_MAX ? INT32_MAX : (int)v;
        return 1;
    }
    if (!QV_ExtHeader()) {
        txNotify(":Macro external memory record not found\r");
        *k = -3;
        return 0;
    }
    int n = QV_ExtMacroCount();
    if (n == 0) {
        txNotify(":No macros loaded\r");
        *k = -2;
        return 0;
    }
    if (!QV_ExtMacroNamesPresent()) {
        txNotify(":Macro meta table not loaded\r");
        txNotify(":Macro call-by-name not supported\r");
        *k = -1;
        return 0;
    }
    if (text[0] == '/') {
        *k = 0;
        return 1;
    }
    if (!isalpha((unsigned char)text[0]) && text[0] != '_') {
        txNotify(":Macro name has improper form\r");
        *k = -4;
        return 0;
    }
    for (int i = 0; i <= n; i++) {
        const char *name = QV_ExtMacroName(i);
        if (!name) break;
        if (strcmp(name, text) == 0) {
            *k = i;
            return 1;
        }
    }
    txNotify(":Macro name not found\r");
    *k = 0;
    return 0;
}

const char *convertIndextoStringMacro(int *k) {
    if (!QV_ExtHeader()) {
        txNotify(":Macro external memory record not found\r");
        return nullptr;
    }
    int n = QV_ExtMacroCount();
    if (n == 0) {
        txNotify(":No macros loaded\r");
        return nullptr;
    }
    if (!QV_ExtMacroNamesPresent()) {
        txNotify(":Macro meta table not loaded\r");
        return nullptr;
    }
    if (*k < 1 || *k > n) return nullptr;
    const char *name = QV_ExtMacroName(*k);
    if (!name) txNotify(":Macro index not found\r");
    return name;
}

int formatMacroNameString(char **p, char **rest) {
    char *s = *p;
    while (*s == ' ' || *s == '\t') s++;
    *p = s;
    char *e = s;
    while (*e && *e != ' ' && *e != '\t' && *e != ':') e++;
    if (*e == ':') {
        memmove(e + 1, e, strlen(e) + 1);
        *e = 0;
        *rest = e + 1;
        return 1;
    }
    if (*e) *e++ = 0;
    *rest = e;
    return 0;
}

// ---- running a macro -------------------------------------------------------------------------------

// Up to ten arguments: blanks (tabs count as blanks) separate them; a double quote runs to the next
// double quote not preceded by a backslash; an unterminated quote and the tenth argument run to the
// end of the text.
static void splitArgs(const char *text, char *buf, int size, const char *argv[MACRO_MAX_ARGS]) {
    int len = 0;
    if (text)
        for (; text[len] && len < size - 1; len++) buf[len] = text[len] == '\t' ? ' ' : text[len];
    buf[len] = 0;
    char *p = buf;
    for (int n = 0; n < MACRO_MAX_ARGS; n++) {
        while (*p == ' ') p++;
        if (!*p) return;
        char *end;
        if (*p == '"') {
            argv[n] = ++p;
            end = p;
            while (*end && !(*end == '"' && end[-1] != '\\')) end++;
        } else {
            argv[n] = p;
            if (n == MACRO_MAX_ARGS - 1) return;
            end = strchr(p, ' ');
        }
        if (!end || !*end) return;
        *end = 0;
        p = end + 1;
    }
}

// The label of a label line: its first 32 characters without a comment or trailing blanks.
static void labelOf(const char *line, char out[MACRO_LABEL_MAX + 1]) {
    strncpy(out, line, MACRO_LABEL_MAX);
    out[MACRO_LABEL_MAX] = 0;
    killTrailingComment(out);
    int n = (int)strlen(out);
    while (n > 0 && isspace((unsigned char)out[n - 1])) out[--n] = 0;
}

// The verbose echo: one blank per level above the first, the macro (and its name), the line.
static void echoLine(int k, const char *line) {
    char text[200];
    int n = 0;
    for (int i = 1; i < macroDepth && n < 8; i++) text[n++] = ' ';
    const char *name = QV_ExtMacroName(k);
    if (!internalTable && name && name[0])
        n += snprintf(text + n, sizeof text - (size_t)n, "%d (%.40s): ", k, name);
    else
        n += snprintf(text + n, sizeof text - (size_t)n, "%d: ", k);
    snprintf(text + n, sizeof text - (size_t)n, "%s\r", line);
    // Sent in pieces the transmit buffer can take.
    char piece[TX_MAX];
    for (size_t at = 0, len = strlen(text); at < len; at += sizeof piece - 1) {
        strncpy(piece, text + at, sizeof piece - 1);
        piece[sizeof piece - 1] = 0;
        txString(piece);
    }
}

int processMacro(int k, const char *args, const char *label) {
    if (label && label[0] == ':' && isdigit((unsigned char)label[1])) {
        txNotify(":label cannot begin with a digit\r");
        return 0;
    }
    MacroView m;
    if (!QV_GetMacro(k, &m)) {
        notify(":macro index %d not valid\r", k);
        return 0;
    }
    if (macroDepth >= MACRO_MAX_DEPTH) {
        if (macroVerbose == 1) notify(":maximum macro depth of %d exceeded\r", MACRO_MAX_DEPTH);
        return 0;
    }
    macroDepth++;

    char argBuf[131];
    const char *argv[MACRO_MAX_ARGS] = {};
    splitArgs(args, argBuf, sizeof argBuf, argv);
    char wanted[MACRO_LABEL_MAX + 1] = "";
    if (label && label[0] == ':') labelOf(label, wanted);

    int last = 0;
    bool done = false;
    if (macroQueued) goto stop;

restart : {
    bool found = false, running = false;
    char section[MACRO_LABEL_MAX + 1] = "";
    const char *p = m.text;
    for (int i = 0; i < m.lines; i++) {
        const char *nul = (const char *)memchr(p, 0, (size_t)(m.end - p));
        if (!nul) break; // the image changed under the macro
        const char *line = p;
        p = nul + 1;
        if (checkAbortCmd()) {
            txNotify(":aborting on *abt\r");
            goto stop;
        }
        while (*line == ' ' || *line == '\t') line++;
        if (!*line || *line == '\r') continue;

        bool repeat = false;
        if (*line == ':') {
            char cur[MACRO_LABEL_MAX + 1];
            labelOf(line, cur);
            repeat = strcmp(cur, ":repeat") == 0;
            if (!repeat) {
                if (!found) { // the first label line
                    if (strcmp(cur, wanted) == 0) {
                        found = running = true;
                        strcpy(section, cur);
                    } else if (!wanted[0]) {
                        goto stop;
                    } else {
                        found = true;
                    }
                } else if (!running) { // searching
                    if (strcmp(cur, wanted) == 0 || strcmp(cur, ":default") == 0) {
                        running = true;
                        done = false;
                        strcpy(section, cur);
                    }
                } else { // the next label ends the section
                    if (!done) notify(":label \"%s\" has no commands\r", section);
                    goto stop;
                }
                continue;
            }
        }
        if (found && !running) continue;
        if (repeat) {
            if (!rs485Active() && checkEscape()) {
                txNotify(":aborting on Escape\r");
                goto stop;
            }
            if (macroQueued) goto stop;
            // Interrupts pending now are taken here, so that an abort can arrive in a tight loop.
            bsp_irq_restore(bsp_irq_save());
            goto restart;
        }

        char expanded[MACRO_LINE_SIZE], command[MACRO_LINE_SIZE];
        expandVariables(expanded, sizeof expanded, line, argv);
        if (!killTrailingComment(expanded)) continue;
        processMath(command, sizeof command, expanded);
        if (macroVerbose) echoLine(k, command);
        last = parse_command(command);
        done = true;
        if (last == 0) goto stop;
        if (macroLineDone) macroLineDone();
        if (macroQueued) goto stop;
    }
    if (!running && wanted[0] == ':') {
        notify(":label \"%s\" not found\r", wanted);
        last = 0;
    }
}

stop:
    macroDepth--;
    if (done) return last;
    txNotify(":no macro commands processed\r");
    return 0;
}

// ---- the queue ------------------------------------------------------------------------------------------

void scheduleMacro(int k, const char *args) {
    // A request without a macro number would never run and would hold every other macro back.
    if (k <= 0 || (k & ~(int)MACRO_QUEUE_NOARGS) == 0) return;
    macroQueued = (uint32_t)k;
    if ((uint32_t)k < MACRO_QUEUE_NOARGS) {
        strncpy(macroQueuedArgs, args ? args : "", sizeof macroQueuedArgs - 1);
        macroQueuedArgs[sizeof macroQueuedArgs - 1] = 0;
    }
}

int pendingMacro(void) {
    uint32_t k = macroQueued;
    return (int)(k >= MACRO_QUEUE_NOARGS ? k - MACRO_QUEUE_NOARGS : k);
}

void processScheduledMacro(void) {
    int k = pendingMacro();
    macroQueued = 0;
    if (!k) return;
    char args[sizeof macroQueuedArgs];
    char label[sizeof macroQueuedLabel];
    memcpy(args, macroQueuedArgs, sizeof args);
    memcpy(label, macroQueuedLabel, sizeof label);
    processMacro(k, args, label);
}
