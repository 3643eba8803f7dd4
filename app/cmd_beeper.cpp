// The beeper's commands: beeps, repeating beeps and alarms, volume, frequency, ceiling, speaker and
// key-click length. The settings they change are saved at once, except with the "s" forms.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/commands.h"
#include "app/control_args.h"
#include "base/config_block.h"
#include "base/console.h"
#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "board/services/beeper.h"
#include "serial/rs485.h"
#include "serial/serial.h"
#include "settings/settings.h"
#include "touch/touch.h"

int cmd_beep(char *line) {
    unsigned ms;
    if (sscanf(line, "beep %u", &ms) != 1) return CMD_FAIL;
    BeepImmediate(ms);
    return CMD_OK;
}

// The beep, and the prompt once it has ended; touches are served meanwhile. ESC from the host ends
// the wait early, as it does for "w" (the beep sounds on to its end).
int cmd_beepw(char *line) {
    unsigned ms;
    if (sscanf(line, "beepw %u", &ms) != 1) return CMD_FAIL;
    BeepImmediate(ms);
    while (BeepOneShotBusy()) {
        handle_touch();
        if (hostSentEscape()) break;
        bsp_wait_for_interrupt();
    }
    return CMD_OK;
}

// "al type ms": the alarm pattern for ms milliseconds; with 0 it sounds until "rb" with two values.
int cmd_al(char *line) {
    int type;
    unsigned ms;
    if (sscanf(line, "al %d %u", &type, &ms) != 2) return CMD_FAIL;
    if (!AlarmSet(type)) return CMD_FAIL;
    if (ms) AlarmTimed();
    BeepImmediate(ms);
    return CMD_OK;
}

int cmd_rb(char *line) {
    unsigned on, off;
    int type;
    int n = sscanf(line, "rb %u %u %d", &on, &off, &type);
    if (n < 2) return CMD_FAIL;
    AlarmSet(n == 3 ? type : 0); // an unknown type only stops the alarm
    BeepRepeat(on, off);
    return CMD_OK;
}

// True when nothing but blanks follows.
static bool onlyBlanks(const char *p) {
    while (*p == ' ' || *p == '\t') p++;
    return *p == 0;
}

// What follows a two-letter keyword and its optional "s" (set without saving).
static char *valueOf(char *line, bool *save) {
    *save = line[2] != 's';
    return line + (*save ? 2 : 3);
}

// "bv", "bvs": no value reports the volume; +n / -n change it, clamped; n sets it (0..255).
int cmd_bv(char *line) {
    bool save;
    char *p = valueOf(line, &save);
    if (*p == 0 || (*p == ' ' && p[1] == 0)) {
        replyNumber(GetBeepVolume());
        return CMD_OK;
    }
    bool relative = p[0] == '+' || p[0] == '-' || (p[1] && (p[1] == '+' || p[1] == '-'));
    char *end;
    long v = strtol(p, &end, 10);
    if (end == p || !onlyBlanks(end)) return CMD_FAIL;
    if (relative) {
        if (v > 255) v = 255; // keeps the sum inside a long
        if (v < -255) v = -255;
        v += GetBeepVolume();
        v = v < 0 ? 0 : v > 255 ? 255 : v;
    } else if (v < 0 || v > 255) {
        return CMD_FAIL;
    }
    SetBeepVolume((uint8_t)v);
    if (save) QV_EEPROM_Save();
    return CMD_OK;
}

// "bf", "bfs": no value reports the frequency; a value of 1 Hz or more sets it.
int cmd_bf(char *line) {
    bool save;
    char *p = valueOf(line, &save);
    if (onlyBlanks(p)) {
        replyNumber((long)GetBeepFrequency());
        return CMD_OK;
    }
    p = skipLeadingWhitespace(p);
    if (*p < '0' || *p > '9') return CMD_FAIL;
    char *end;
    unsigned long long hz = strtoull(p, &end, 10);
    if (!onlyBlanks(end) || hz == 0 || hz > 0xFFFFFFFFull) return CMD_FAIL;
    BeepFrequency((uint32_t)hz);
    if (save) QV_EEPROM_Save();
    return CMD_OK;
}

int cmd_sys_spkr(char *line) {
    if (strcmp(line, "*spkr") == 0) {
        txNotify(eepromData[CFG_EXTERNAL_SPEAKER] == 1 ? "on\r" : "off\r");
        return CMD_OK;
    }
    if (strncmp(line, "*spkr on", 8) == 0)
        SpeakerSelect(1);
    else if (strncmp(line, "*spkr off", 9) == 0)
        SpeakerSelect(0);
    else
        return CMD_FAIL;
    QV_EEPROM_Save();
    return CMD_OK;
}

int cmd_bMaX(char *line) {
    unsigned v;
    if (sscanf(line, "bMaX %u", &v) != 1) return CMD_FAIL;
    BeepMaxSet((uint8_t)v);
    QV_EEPROM_Save();
    return CMD_OK;
}

int cmd_bb(char *line) {
    unsigned v;
    if (sscanf(line, "bb %u", &v) != 1) return CMD_FAIL;
    beepMS = v * 10;
    return CMD_OK;
}
