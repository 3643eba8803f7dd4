// The beeper: timed beeps, repeating beeps, three alarm patterns and the key click, all timed by
// BeepTimerCheck in the 1 ms tick. Frequency, volume, volume ceiling and the external speaker are
// settings of the configuration block; the commands that change them save it (app/cmd_beeper.cpp).
#pragma once

#include <stdint.h>

extern volatile uint32_t beepMS; // key-click length in ms (100 at power-up; "bb" sets it)

void QV_BeepInit(void);
void BeepTimerCheck(void); // from the 1 ms tick

void SetBeepVolume(uint8_t volume); // stores it; the output gets ceiling * volume / 255
uint8_t GetBeepVolume(void);
void BeepFrequency(uint32_t hz); // the next tone started uses it
uint32_t GetBeepFrequency(void);
void BeepMaxSet(uint8_t ceiling); // takes effect at the next volume change
void SpeakerSelect(int external); // 1: the external speaker, 0: the internal beeper

void BeepImmediate(uint32_t ms);            // a single beep of ms; 0 switches the tone off
void BeepRepeat(uint32_t on, uint32_t off); // on/off beeps until BeepRepeat(0, 0)
// Alarm pattern 1..3 (0 stops it): 1 if the type is one of the patterns. The pattern keeps sounding
// until its type is set to 0 or, when AlarmTimed is called after it, the next single beep ends.
int AlarmSet(int type);
void AlarmTimed(void);
int BeepActive(void);      // the tone is on
int BeepOneShotBusy(void); // a single beep is running
void keyClick(void);       // the click of a touch control, beepMS long
