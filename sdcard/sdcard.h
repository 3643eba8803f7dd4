// SD card slot: hot-plug state, card initialisation, block access, and the file open/close that
// every other part uses (with the activity LED).
#pragma once

#include <stdint.h>

#include "fat/ff.h"

// Slot states (SDhotplug).
enum : uint8_t {
    SD_NO_CARD = 1,     // waiting for insertion
    SD_READY = 2,       // initialised and mounted
    SD_INSERTED = 3,    // inserted and debounced: initialisation pending
    SD_REMOVED = 4,     // removed and debounced: clean-up pending
    SD_INIT_FAILED = 5, // present, but initialisation failed
};
enum : uint32_t { SD_DEBOUNCE_MS = 50 };

extern volatile uint8_t SDhotplug;

void SDhotplugUpdate(void); // from the 1 ms tick: debounce
void SDcheckHotplug(void);  // from the main loop: pending initialisation or clean-up
int SDisInitialized(void);
void SDhotplugInitialized(void);
void SDhotplugFailedToInit(void);
// Results of the card operations, returned by value.
enum SD_STATUS : int {
    SD_OK = 0,
    SD_ERR_NO_CARD = 1,   // the slot is empty
    SD_ERR_INIT = 2,      // the card did not finish its identification sequence
    SD_ERR_NOT_READY = 3, // no initialised card for a block transfer
    SD_ERR_TRANSFER = 4,  // the card refused the transfer or the interface reported errors
    SD_ERR_NO_VOLUME = 5, // initialised, but no FAT12/FAT16 volume on it
};

SD_STATUS initialize_media(void); // card initialisation and mount

SD_STATUS SDCardInit(void);
SD_STATUS SDCardReadBlock(uint32_t address, uint8_t *buffer); // byte address, a multiple of 512
SD_STATUS SDCardWriteBlock(uint32_t address, const uint8_t *buffer);
uint32_t SDCardSectors(void); // capacity from the card-specific data, 0 when unknown
// "MID=%u\rOID=%04Xh\rPNM=%s\rPSN=%06u\rMDT=%02u/%02u\r"; buffer holds at least 80 bytes.
void SDCardGetCIDString(char *buffer);
// The card interface's error flags (BSP_SD_ERR_*) gathered since the last call, cleared.
uint32_t SDCardTakeErrors(void);
// Called with the flags of a transfer that failed on them; the layer above installs it and words
// the messages (SDCardReportErrors). Without it such a transfer only fails.
extern void (*SDCardErrorHook)(uint32_t flags);
void SDCardReportErrors(uint32_t flags); // one error message per flag

ff::FF_FILE *SD_fopen(const char *name, int mode);
int SD_fclose(ff::FF_FILE *file);
void SD_led(int on);
void SD_ledToggle(void);
extern uint8_t sdLedChoice; // "*sdled": the LED's level while no file is open

// ---- commands of this room (return the interpreter's result code) -------------------------------
int cmd_sys_sdled(char *line); // "*sdled"
int cmd_sys_cd(char *line);    // "*cd"
int cmd_sys_ls(char *line);    // "*ls"
