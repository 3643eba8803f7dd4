// The power-on screen and the endless main loop: touch, animations, GIFs, the aux port, scheduled
// macros, and above all the host's command lines.
#include "app/main_loop.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/power_on.h"
#include "app/version.h"
#include "base/crc.h"
#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "board/services/services.h"
#include "board/services/timer.h"
#include "config/panel.h"
#include "macro/macro.h"
#include "sdcard/sdcard.h"
#include "serial/rs485.h"
#include "serial/serial.h"
#include "settings/settings.h"
#include "touch/touch.h"

char myBuf[131];
char expBuf[130];
char locBuf[130];

size_t QV_Copy_Version(char *buffer) {
    int n = snprintf(buffer, 64, panelConfig.versionFormat, PRODUCT_NAME, VERSION_MAJOR, VERSION_MINOR,
                     VERSION_PATCH);
    size_t len = n > 0 ? (size_t)n : 0;
    const uint8_t *name = &eepromData[CFG_CONFIG_NAME];
    if (QV_EEPROMvalid() && name[0] != 0 && name[0] != 0xFF) {
        buffer[len++] = '"';
        for (int i = 0; i < 32 && name[i]; i++) buffer[len++] = (char)name[i];
        buffer[len++] = '"';
    }
    buffer[len] = 0;
    return len;
}

static void activityLed(int on) {
    if (!userLedState) Led(on);
}

// A CRC-framed line is '~', four hexadecimal digits, then the command; the digits are the CRC of
// the command text including its CR. Returns the command, or nullptr when the frame is bad.
static char *unframe(char *line) {
    if (strlen(line) <= 5) return nullptr;
    char digits[5] = {line[1], line[2], line[3], line[4], 0};
    uint16_t expected = (uint16_t)strtol(digits, nullptr, 16);
    char *command = line + 5;
    if (CalcCRC((const uint8_t *)command, (uint32_t)strlen(command)) != expected) return nullptr;
    return command;
}

// An RS485 host gets its prompt before a macro runs, so that it is not kept waiting.
static bool isMacroCall(const char *c) {
    const unsigned char *u = (const unsigned char *)c;
    if (u[0] == 0x82) return u[1] == 'M' && u[2] != 0;
    return u[0] == 'm' && (u[1] == ' ' || u[1] == '\t' || (u[1] >= '0' && u[1] <= '9'));
}

static bool skipsExpansion(const char *c) {
    return strncmp(c, "tu", 2) == 0 || strncmp(c, "ts", 2) == 0 || strncmp(c, "outs", 4) == 0 ||
           strncmp(c, "aouts", 5) == 0;
}

static const char *replyFor(int result) {
    switch (result) {
    case 0:
        return "!\r";
    case 2:
        return "#\r";
    case 3:
        return nullptr;
    default:
        return ">\r";
    }
}

static void sendReply(const char *reply) {
    if (!rs485Active()) {
        if (reply) txString(reply);
        return;
    }
    if (anythingToTx()) txSavedBuf();
    // A prompt is not repeated when anything went out since the line was taken.
    if (reply && !(strcmp(reply, ">\r") == 0 && stringSent)) txString(reply);
    stringSent = 0;
}

static const char nullArgs[] = "";

// An RS485 macro call had its prompt before the macro ran.
static bool promptedEarly;

static const char *runCommand(char *command) {
    activityLed(1);
    if (rs485Active() && isMacroCall(command)) {
        txString(">\r");
        stringSent = 1;
        promptedEarly = true;
    }
    const bool binary = (unsigned char)myBuf[0] >= 0x81;
    if (!binary) {
        size_t len = strlen(command);
        if (len && command[len - 1] == '\r') command[len - 1] = 0; // a 130-character line has none
        command = skipLeadingWhitespace(command);
        if (!killTrailingComment(command)) {
            activityLed(0);
            return ">\r";
        }
        if (!skipsExpansion(command)) {
            expandVariables(command, expBuf, nullArgs);
            processMath(expBuf, locBuf);
            command = locBuf;
        }
    }
    int result = parse_command(command);
    activityLed(0);
    return replyFor(result);
}

void runOneLine(void) {
    // Binary lines carry no terminator: a cleared buffer gives them one.
    memset(myBuf, 0, sizeof myBuf);
    rxString(myBuf, LINE_MAX);
    stringSent = 0;
    char *command = myBuf;
    const char *reply;
    if (myBuf[0] == '~' && !(command = unframe(myBuf))) {
        reply = "#\r";
    } else if (command[0] == '\r') {
        QV_Delay(10);
        reply = ">\r";
    } else {
        reply = runCommand(command);
    }
    // The host has had its answer; on a shared line the display speaks again only when addressed,
    // so what the macro left (its notices, its result) waits for the next command or a poll.
    if (promptedEarly && rs485Active()) {
        promptedEarly = false;
        stringSent = 0;
        return;
    }
    promptedEarly = false;
    sendReply(reply);
}

// Held aux bytes go to the host as "a ", the bytes and CR, which must fit one message of 128
// characters (125 with the RS485 prefix); what does not fit waits for the next pass.
static void forwardAux(void) {
    if (eepromData[CFG_AUX_FORWARD] != CFG_MODE_ON || !anyAuxRx()) return;
    char notice[LINE_MAX];
    notice[0] = 'a';
    notice[1] = ' ';
    int n = getAuxRx(notice + 2, rs485Active() ? 123 : 126);
    notice[2 + n] = '\r';
    notice[3 + n] = 0;
    txNotify(notice);
}

// Start and end notices of a scheduled macro: "m5\r" / "e5\r", or "M" / "E" and the index as one byte.
static void macroNotice(char letter, int index) {
    char notice[8];
    if (binaryResponses)
        snprintf(notice, sizeof notice, "%c%c", letter, (char)index);
    else
        snprintf(notice, sizeof notice, "%c%d\r", letter + ('a' - 'A'), index);
    txNotify(notice);
}

static void runScheduledMacro(int index) {
    activityLed(1);
    if (macroNotify == 1 || macroNotify == 3) macroNotice('M', index);
    processScheduledMacro();
    if (macroNotify == 2 || macroNotify == 3) macroNotice('E', index);
    activityLed(0);
}

int mainLoopPass(void) {
    SDcheckHotplug();
    handle_touch();
    handle_animation();
    handle_agif();
    forwardAux();
    int macro = pendingMacro();
    if (macro) runScheduledMacro(macro);
    int status = isLineAvail();
    processCommWatchDog(status != 0 ? 1 : 0);
    switch (status) {
    case 0:
        // A dropped RS485 frame may leave the next one complete: look again at once.
        return macro != 0 || (rxGotLine != 0 && rs485Active());
    case 1:
        if (checkAbortCmd()) {
            rxReset();
            fakeNullCommand();
        }
        runOneLine();
        break;
    case 2:
        sendReply("^\r");
        break;
    case 3:
        sendReply("!\r");
        break;
    case 4:
        sendReply("?\r");
        break;
    default:
        sendReply("#\r");
        break;
    }
    return 1;
}

void GUIDEMO_main(void) {
    powerOnScreen();
    for (;;)
        if (!mainLoopPass()) bsp_idle();
}
