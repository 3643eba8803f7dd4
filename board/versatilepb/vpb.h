// The ARM Versatile/PB as QEMU emulates it: where its devices are, and where this port keeps the
// parts of the display board the machine does not have. Private to board/versatilepb.
#pragma once

#include <stdint.h>

// ---------------------------------------------------------------------------------------------
// Machine memory (QEMU -m 256M: RAM from 0 to 0x0FFFFFFF).
// The board's program flash (0x10000000, 2 MiB) lies where the machine has its peripherals;
// the image is loaded into RAM at this alias instead, boot area first.
constexpr uint32_t VPB_FLASH_ALIAS = 0x01000000u;
// The board's SDRAM (resource region and video RAM) is at the same addresses in machine RAM;
// program RAM (.data, .bss, stacks) is the 4 MiB below it, from 0x08000000.
constexpr uint32_t VPB_PROGRAM_RAM = 0x08000000u;
// Chips the machine lacks, kept in RAM outside the board's memory map for the run. Both are
// stored inverted, so that the zeroed RAM of a fresh QEMU is a blank (all 0xFF) chip and a
// reset keeps whatever was written.
constexpr uint32_t VPB_DATAFLASH_STORE = 0x09000000u; // 16 MiB serial data flash
constexpr uint32_t VPB_DATAFLASH_SIZE = 0x01000000u;
constexpr uint32_t VPB_EEPROM_STORE = 0x0A000000u; // 8 KiB I2C EEPROM
constexpr uint32_t VPB_EEPROM_SIZE = 0x00002000u;
constexpr uint32_t VPB_RAM_END = 0x10000000u;

// ---------------------------------------------------------------------------------------------
// Devices.
constexpr uint32_t VPB_SYSCTL = 0x10000000u; // system registers
constexpr uint32_t VPB_SYS_LED = VPB_SYSCTL + 0x08u;
constexpr uint32_t VPB_SYS_LOCK = VPB_SYSCTL + 0x20u;
constexpr uint32_t VPB_SYS_RESETCTL = VPB_SYSCTL + 0x40u;
constexpr uint32_t VPB_SYS_CLCD = VPB_SYSCTL + 0x50u;
constexpr uint32_t VPB_SYS_LOCK_KEY = 0xA05Fu;

constexpr uint32_t VPB_VIC = 0x10140000u;     // PL190
constexpr uint32_t VPB_CLCD = 0x10120000u;    // PL110
constexpr uint32_t VPB_TIMER01 = 0x101E2000u; // SP804, timers 0 and 1, 1 MHz
constexpr uint32_t VPB_UART0 = 0x101F1000u;   // PL011, 24 MHz reference clock
constexpr uint32_t VPB_UART1 = 0x101F2000u;

// PL190 interrupt lines used.
enum { VPB_LINE_TIMER01 = 4, VPB_LINE_UART0 = 12, VPB_LINE_UART1 = 13 };

static inline volatile uint32_t &vpbReg(uint32_t addr) {
    return *reinterpret_cast<volatile uint32_t *>(addr);
}

// ---------------------------------------------------------------------------------------------
// Between the files of the port.
extern "C" void board_irq_dispatch(void);
extern "C" void board_fiq_dispatch(void);
extern "C" [[noreturn]] void board_exception(uint32_t kind, uint32_t pc);
extern "C" [[noreturn]] void reset_handler(void);

// The interrupt controller asks the UART and timer parts which logical sources are pending.
void vpbUartService(int port);             // from the dispatcher, line of UART port
void vpbUartUpdate(int port);              // logical enables changed: re-evaluate the UART's masks
int vpbSourceEnabled(int source);          // the logical source is enabled
void vpbRunHandler(int source);            // call the handler installed for a logical source
void vpbLineSoftPending(int line, int on); // software-raised level on a controller line
void vpbUartPutcPolled(char c);            // UART0 by polling, usable with interrupts off
void vpbQuiesce(void);                     // every interrupt source off, before a halt or a restart
