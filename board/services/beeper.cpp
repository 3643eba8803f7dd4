// The beeper. The tick (BeepTimerCheck) owns all timing: it steps the alarm pattern, ends single
// beeps and switches repeating beeps between their on and off phases. The main loop only starts
// things; each start is a few single-word stores that the tick picks up at its next call.
#include "board/services/beeper.h"

#include "base/config_block.h"
#include "board/bsp/bsp.h"

volatile uint32_t beepMS = 100;

static volatile uint8_t beep_state;  // the tone is on
static volatile uint32_t toneReload; // of the tone that is on
static volatile uint32_t oneShot;    // ms left of a single beep
static volatile uint32_t repeatOn, repeatOff, repeatCounter;
static volatile uint8_t repeat_beep_state; // 1 in the on phase
static volatile uint8_t alarmType, ba, alarmEndsWithBeep;
static volatile uint32_t ba1, ba2, timer_ms;

// The tone timer toggles the output at twice the frequency. A frequency of 0 would divide by zero
// and one above the timer's reach would give a negative reload: both are held to what it can do.
static uint32_t reloadFor(uint32_t hz) {
    if (hz == 0) hz = 1;
    uint64_t q = 16666666ull / (2ull * hz);
    return q ? (uint32_t)q - 1 : 0;
}

static void toneOn(uint32_t hz) {
    uint32_t reload = reloadFor(hz);
    if (beep_state && reload == toneReload) return;
    bsp_tone_start(reload);
    toneReload = reload;
    if (!beep_state) bsp_speaker(1);
    beep_state = 1;
}

static void toneOff(void) {
    if (!beep_state) return;
    bsp_speaker(0);
    bsp_tone_stop();
    beep_state = 0;
}

uint32_t GetBeepFrequency(void) {
    return cfgU32(CFG_BEEP_FREQ);
}

void BeepFrequency(uint32_t hz) {
    cfgSetU32(CFG_BEEP_FREQ, hz);
}

uint8_t GetBeepVolume(void) {
    return eepromData[CFG_BEEP_VOL];
}

void SetBeepVolume(uint8_t volume) {
    eepromData[CFG_BEEP_VOL] = volume;
    uint32_t out = (uint32_t)eepromData[CFG_BEEP_VOL_MAX] * volume / 255;
    bsp_volume_duty((uint8_t)(out * 102 / 255));
}

void BeepMaxSet(uint8_t ceiling) {
    eepromData[CFG_BEEP_VOL_MAX] = ceiling;
}

void SpeakerSelect(int external) {
    eepromData[CFG_EXTERNAL_SPEAKER] = external ? 1 : 0;
    bsp_external_speaker(external ? 1 : 0);
}

void QV_BeepInit(void) {
    alarmType = 0;
    alarmEndsWithBeep = 0;
    oneShot = 0;
    repeatOn = 0;
    beep_state = 0;
    bsp_speaker(0);
    bsp_tone_stop();
    bsp_external_speaker(eepromData[CFG_EXTERNAL_SPEAKER] == 1);
    SetBeepVolume(eepromData[CFG_BEEP_VOL]);
}

void BeepImmediate(uint32_t ms) {
    if (ms == 0) {
        oneShot = 0;
        toneOff();
        return;
    }
    oneShot = ms;
    if (!beep_state) toneOn(GetBeepFrequency());
}

void BeepRepeat(uint32_t on, uint32_t off) {
    if (on == 0) { // no on phase: nothing to repeat
        repeatOn = 0;
        toneOff();
        return;
    }
    repeatCounter = on;
    repeatOff = off;
    repeat_beep_state = 1;
    repeatOn = on;
    toneOn(GetBeepFrequency());
}

int AlarmSet(int type) {
    alarmEndsWithBeep = 0;
    uint32_t f = GetBeepFrequency();
    ba = 0;
    ba1 = f;
    if (type == 1) ba2 = f + 750;
    if (type == 2) ba2 = f + 500;
    if (type == 3) ba2 = f + 386;
    timer_ms = 1;
    alarmType = (uint8_t)(type >= 1 && type <= 3 ? type : 0);
    return alarmType != 0;
}

void AlarmTimed(void) {
    alarmEndsWithBeep = 1;
}

int BeepActive(void) {
    return beep_state == 1;
}

int BeepOneShotBusy(void) {
    return oneShot != 0;
}

void keyClick(void) {
    if (beepMS) BeepImmediate(beepMS);
}

// Type 1: 16 ms at f + 750, 16 ms silent. Type 2: a warble, 4 ms at f and 4 ms at f + 500. Type 3:
// 250 ms at f, 250 ms at f + 386.
static void alarmStep(void) {
    static const uint8_t period[4] = {0, 16, 4, 250};
    if (timer_ms) timer_ms = timer_ms - 1;
    if (timer_ms) return;
    timer_ms = period[alarmType];
    ba = !ba;
    if (alarmType == 1) {
        if (ba)
            toneOn(ba2);
        else
            toneOff();
    } else {
        toneOn(ba ? ba1 : ba2);
    }
}

void BeepTimerCheck(void) {
    if (alarmType) alarmStep();
    if (oneShot) {
        oneShot = oneShot - 1;
        if (oneShot == 0) {
            toneOff();
            if (alarmEndsWithBeep) {
                alarmType = 0;
                alarmEndsWithBeep = 0;
            }
            return;
        }
    }
    if (!repeatOn) return;
    if (repeatCounter) repeatCounter = repeatCounter - 1;
    if (repeatCounter) return;
    repeat_beep_state = !repeat_beep_state;
    if (repeat_beep_state) {
        repeatCounter = repeatOn;
        toneOn(GetBeepFrequency());
    } else {
        repeatCounter = repeatOff;
        toneOff();
    }
}
