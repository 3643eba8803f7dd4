// Animations: up to ten small scripts of command lines in one 2048-byte store, stepped from the main
// loop. Each step runs an animation's lines up to its next yield line ("y" and milliseconds), which
// says when the animation goes on. "tf" builds a blinking text as such a script.
#include "touch/animation.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/parse.h"
#include "board/services/timer.h"
#include "gfx/font_table.h"
#include "gfx/gfx_state.h"
#include "gfx/gui.h"
#include "macro/macro.h"
#include "serial/serial.h"

namespace {

enum : int32_t { STORE = 2048, COUNT = 10, RUNNING_TO_YIELD = -2, STOPPED = -1, HALTED = 0 };

char anibuf[STORE];
int32_t anibuf_ptr; // next free byte

// Offsets into anibuf (a zeroed record is free). state: > 0 ms until the next step, 0 halted,
// -1 stopped, -2 run to the next yield and stop, -3 and -4 the same for a text flash's phases.
struct Animation {
    bool used;
    int32_t start, end, cur, state;
};
Animation anis[COUNT];
int32_t elapsed;      // the sleep chosen at the last step
GraphicsState AniGDI; // the drawing state around a step
bool stepping;        // lines of an animation are executing
volatile int32_t &timer = animateTimer[0];

bool isFree(int n) {
    return !anis[n].used;
}

// The line after the one at `at`, wrapping from the last line to the first.
int32_t nextLine(const Animation &a, int32_t at) {
    const int32_t after = at + (int32_t)strlen(anibuf + at) + 1;
    return after > a.end ? a.start : after;
}

bool hasYield(const Animation &a) {
    for (int32_t at = a.start;; at = nextLine(a, at)) {
        if (anibuf[at] == 'y') return true;
        if (nextLine(a, at) == a.start) return false;
    }
}

// Starts the step timer unless it is already counting.
void kick(int32_t value) {
    if (timer <= 0) timer = value;
}

// The number after a keyword and its blanks; -1 when there is none. *rest: after the number.
int number(const char *line, size_t keyword, const char **rest) {
    const char *p = line + keyword;
    while (*p == ' ') p++;
    if (rest) *rest = p;
    if (*p < '0' || *p > '9') return -1;
    char *end;
    const long n = strtol(p, &end, 10);
    if (rest) *rest = end;
    return n > 1000 ? 1000 : (int)n;
}

// Runs animation a from its current line to its next yield.
void step(Animation &a) {
    const int32_t first = a.cur;
    for (;;) {
        const char *text = anibuf + a.cur;
        if (text[0] == 'y') {
            const bool stop = text[1] == 's' || a.state < STOPPED;
            a.state = stop ? (int32_t)STOPPED : atoi(text + 1);
            a.cur = nextLine(a, a.cur);
            return;
        }
        char line[131];
        size_t n = 0;
        while (text[n] && text[n] != '\n' && n < sizeof line - 1) {
            line[n] = text[n];
            n++;
        }
        line[n] = 0;
        a.cur = nextLine(a, a.cur);
        parse_command(line); // a failing line does not stop the animation
        if (!a.used) return;
        if (a.cur == first) {
            a.state = RUNNING_TO_YIELD;
            return;
        }
    }
}

} // namespace

void init_animation(void) {
    if (stepping) return;
    for (Animation &a : anis) a = Animation{};
    anibuf_ptr = 0;
    elapsed = 0;
}

int DoAnimationAdd(int n, const char *text) {
    if (stepping || n < 0 || n >= COUNT) return 0;
    Animation &a = anis[n];
    if (!isFree(n) && a.end + 1 != anibuf_ptr) return 0; // only the newest animation grows
    char line[131];
    size_t len = 0;
    while (text[len] && text[len] != '\r' && text[len] != '\n' && len < sizeof line - 1) {
        line[len] = text[len];
        len++;
    }
    line[len] = 0;
    killTrailingComment(line);
    len = strlen(line);
    if ((int32_t)len + 1 > STORE - anibuf_ptr) {
        perr(":animation won't fit in storage\r");
        DeleteAnimation(n);
        return 0;
    }
    memcpy(anibuf + anibuf_ptr, line, len + 1);
    if (isFree(n)) a = Animation{true, anibuf_ptr, 0, anibuf_ptr, STOPPED};
    a.end = anibuf_ptr + (int32_t)len;
    anibuf_ptr = a.end + 1;
    return 1;
}

int DeleteAnimation(int n) {
    if (n < 0 || n >= COUNT || isFree(n) || stepping) return 0;
    const Animation gone = anis[n];
    const int32_t size = gone.end + 1 - gone.start;
    memmove(anibuf + gone.start, anibuf + gone.end + 1, (size_t)(anibuf_ptr - gone.end - 1));
    anibuf_ptr -= size;
    for (Animation &a : anis)
        if (a.used && a.start > gone.start) {
            a.start -= size;
            a.end -= size;
            a.cur -= size;
        }
    anis[n] = Animation{};
    return 1;
}

void handle_animation(void) {
    if (timer != 0 || stepping) return;
    bool any = false;
    for (const Animation &a : anis) any |= a.used && (a.state > 0 || a.state < STOPPED);
    if (!any) return;
    SaveState(&AniGDI);
    const int previous = ExecState;
    ExecState = 3;
    stepping = true;
    // Counting animations that reach 0 now run, and those running to a yield; halted ones wait.
    bool due[COUNT] = {};
    for (int i = 0; i < COUNT; i++) {
        Animation &a = anis[i];
        if (!a.used) continue;
        if (a.state > 0) {
            a.state = a.state > elapsed ? a.state - elapsed : 0;
            due[i] = a.state == 0;
        } else {
            due[i] = a.state < STOPPED;
        }
    }
    for (int i = 0; i < COUNT; i++)
        if (due[i] && anis[i].used) step(anis[i]);
    int32_t next = 0;
    for (const Animation &a : anis)
        if (a.used && a.state > 0 && (next == 0 || a.state < next)) next = a.state;
    elapsed = next;
    timer = next;
    stepping = false;
    ExecState = previous;
    RestoreState(&AniGDI);
}

// ---- commands ---------------------------------------------------------------------------------------

namespace {

// "ani n text", "ani+ n text"
int add(char *line, size_t keyword) {
    const char *rest;
    const int n = number(line, keyword, &rest);
    if (n < 0) return CMD_FAIL;
    while (*rest == ' ') rest++;
    return DoAnimationAdd(n, rest) ? CMD_OK : CMD_FAIL;
}

int enable(char *line, size_t keyword) {
    const int n = number(line, keyword, nullptr);
    if (n < 0 || n >= COUNT) return CMD_FAIL;
    if (isFree(n)) return CMD_OK;
    if (!hasYield(anis[n])) {
        perr(":animation must contain a yield\r");
        return CMD_FAIL;
    }
    anis[n].state = 1;
    kick(1);
    return CMD_OK;
}

// "anid n [m]" / "tfd n m": halt, or show from after the m-th yield line to the next one and stop.
int disable(char *line, size_t keyword, bool flash) {
    const char *rest;
    const int n = number(line, keyword, &rest);
    if (n < 0 || n >= COUNT) return CMD_FAIL;
    if (isFree(n)) return CMD_OK;
    Animation &a = anis[n];
    const int m = number(rest, 0, nullptr);
    if (m < 0) {
        a.state = HALTED;
        return CMD_OK;
    }
    int seen = 0;
    for (int32_t at = a.start;; at = nextLine(a, at)) {
        if (anibuf[at] == 'y' && seen++ == m) {
            a.cur = nextLine(a, at);
            a.state = flash ? (m == 0 ? -3 : -4) : (int32_t)RUNNING_TO_YIELD;
            kick(0);
            return CMD_OK;
        }
        if (nextLine(a, at) == a.start) return CMD_FAIL; // fewer yield lines than that
    }
}

int remove(char *line, size_t keyword) {
    const int n = number(line, keyword, nullptr);
    return n >= 0 && DeleteAnimation(n) ? CMD_OK : CMD_FAIL;
}

int rewind(void) {
    for (Animation &a : anis)
        if (a.used) a.cur = a.start;
    kick(0);
    return CMD_OK;
}

int clearAll(void) {
    if (stepping) return CMD_FAIL;
    init_animation();
    return CMD_OK;
}

void listOne(int n) {
    const Animation &a = anis[n];
    const int32_t size = a.end + 1 - a.start;
    if (a.state == RUNNING_TO_YIELD)
        pout("// ani:%d Stopping Size: %d\r", n, (int)size);
    else if (a.state == STOPPED)
        pout("// ani:%d Stopped Size: %d\r", n, (int)size);
    else
        pout("// ani:%d count: %d Size: %d\r", n, (int)a.state, (int)size);
    for (int32_t at = a.start; at <= a.end; at += (int32_t)strlen(anibuf + at) + 1) {
        char text[131 * 4 + 8];
        size_t k = (size_t)snprintf(text, sizeof text, "ani %d ", n);
        for (const char *c = anibuf + at; *c && k + 5 < sizeof text; c++) {
            const unsigned char ch = (unsigned char)*c;
            if (ch < 0x20 && ch != '\r' && ch != '\n')
                k += (size_t)snprintf(text + k, sizeof text - k, "\\x%02x", ch);
            else
                text[k++] = (char)ch;
        }
        text[k] = 0;
        pout("%s\r", text);
    }
}

int list(char *line, size_t keyword) {
    const char *p = line + keyword;
    while (*p == ' ') p++;
    if (!*p) {
        pout("Free: %d\r", (int)(STORE - anibuf_ptr));
        return CMD_OK;
    }
    const int n = number(p, 0, nullptr);
    if (n >= COUNT) return CMD_FAIL;
    for (int i = 0; i < COUNT; i++)
        if ((n < 0 || i == n) && !isFree(i)) listOne(i);
    return CMD_OK;
}

// "tf n [period] "text"": the text in the current settings, then in the background colour.
int textFlash(char *line) {
    const char *rest;
    const int n = number(line, 2, &rest);
    const char *quote = strchr(line, '"');
    if (stepping || strlen(line) > 120 || n < 0 || n >= COUNT || !quote) return CMD_FAIL;
    int period = number(rest, 0, nullptr);
    if (period < 0) period = 500;
    const char *close = strrchr(quote, '"');
    const int textLen = (int)(close > quote ? close - quote + 1 : (long)strlen(quote));
    DeleteAnimation(n);
    const GUI_COLOR fg = GUI_GetColor(), bg = GUI_GetBkColor();
    auto rgb = [](GUI_COLOR c) { return (unsigned)((c & 0xFF) << 16 | (c & 0xFF00) | ((c >> 16) & 0xFF)); };
    const int16_t align = GUI_GetTextAlign();
    const char *font = QV_GetCurrentFontName();
    for (int phase = 0; phase < 2; phase++) {
        char l[8][132];
        snprintf(l[0], sizeof l[0], "f %s", font ? font : "16");
        snprintf(l[1], sizeof l[1], "S %06X %06X", phase ? rgb(bg) : rgb(fg), rgb(bg));
        snprintf(l[2], sizeof l[2], "ta %c%c", "LRCX"[align & 3], "TBLC"[(align >> 2) & 3]);
        snprintf(l[3], sizeof l[3], "o %d %d", Origin_X, Origin_Y);
        snprintf(l[4], sizeof l[4], "sc %d %d", (int)(GUI_GetDispPosX() - Origin_X),
                 (int)(GUI_GetDispPosY() - Origin_Y));
        snprintf(l[5], sizeof l[5], "tm N");
        snprintf(l[6], sizeof l[6], "t %.*s", textLen, quote);
        snprintf(l[7], sizeof l[7], "y %d", period);
        for (auto &text : l)
            if (!DoAnimationAdd(n, text)) return CMD_FAIL;
    }
    anis[n].state = 1; // a flashing text flashes at once
    kick(1);
    return CMD_OK;
}

} // namespace

int cmd_ani(char *line) {
    return add(line, 4);
}
int cmd_aniplus(char *line) {
    return add(line, 5);
}
int cmd_anie(char *line) {
    return enable(line, 4);
}
int cmd_tfe(char *line) {
    return enable(line, 3);
}
int cmd_anid(char *line) {
    return disable(line, 4, false);
}
int cmd_tfd(char *line) {
    return disable(line, 3, true);
}
int cmd_anix(char *line) {
    return remove(line, 4);
}
int cmd_tfx(char *line) {
    return remove(line, 3);
}
int cmd_anis(char *) {
    return rewind();
}
int cmd_tfs(char *) {
    return rewind();
}
int cmd_anic(char *) {
    return clearAll();
}
int cmd_tfc(char *) {
    return clearAll();
}
int cmd_aniq(char *line) {
    return list(line, 4);
}
int cmd_tfq(char *line) {
    return list(line, 3);
}
int cmd_tf(char *line) {
    return textFlash(line);
}
