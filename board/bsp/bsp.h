// Board support interface: every operation the firmware needs of the hardware, named by what it
// does. Nothing above this header knows register addresses, bit positions or that it may run on a
// PC. Each board (board/host, board/versatilepb, ...) implements the primitives; the protocol-level
// operations at the end (EEPROM, data flash) are portable and live beside this header.
//
// Rules every caller relies on:
// - Interrupt handlers run only between two calls of these operations (on a real processor at any
//   instruction; on the simulated board at the call boundaries). Code that waits for something an
//   interrupt changes must call bsp_wait_for_interrupt() in its loop.
// - Addresses passed to the memory operations are 32-bit board addresses (see the memory map).
#pragma once

#include <stddef.h>
#include <stdint.h>

// ---------------------------------------------------------------------------------------------
// Memory map of the board. Stored addresses (resource image, memory commands) use these values on
// every board; bsp_mem() turns one into a pointer the firmware can dereference.
enum : uint32_t {
    BSP_PROGRAM_FLASH_BASE = 0x10000000u, // boot area, then the firmware image
    BSP_PROGRAM_FLASH_SIZE = 0x00200000u,
    BSP_BOOT_AREA_SIZE = 0x00010000u,
    BSP_FIRMWARE_BASE = 0x10010000u,
    BSP_FIRMWARE_SIZE = 0x001F0000u,
    BSP_EXTRAM_BASE = 0x08400000u, // resource-image region
    BSP_EXTRAM_SIZE = 0x00B00000u,
    BSP_VIDEORAM_BASE = 0x08F00000u, // frame buffer at its start
    BSP_VIDEORAM_SIZE = 0x00100000u,
    BSP_SDRAM_END = 0x09000000u,
    BSP_REGISTER_BASE = 0x00200000u, // peripheral register block of the diagnostic commands
    BSP_REGISTER_SIZE = 0x00010000u,
};

// Pointer to the byte at a board address, or nullptr when [addr, addr + len) is not mapped.
void *bsp_mem(uint32_t addr, uint32_t len);
// The board address of a pointer obtained from bsp_mem (0 for any other pointer).
uint32_t bsp_addr(const void *ptr);
// Register block access for "*R", "*R16", "*W" (addr is absolute).
uint32_t bsp_reg_read32(uint32_t addr);
uint16_t bsp_reg_read16(uint32_t addr);
void bsp_reg_write32(uint32_t addr, uint32_t value);

// ---------------------------------------------------------------------------------------------
// Clocks, pins, platform set-up (start-up only).
void bsp_clock_init(void);    // enable the clocks of the peripherals used
void bsp_system_clock(void);  // system clock configuration
void InitGPIO(void);          // pin directions and multiplexing
void bsp_platform_setup(void); // the platform register set-up at the start of QV_main
void InitI2C(void);

// ---------------------------------------------------------------------------------------------
// Interrupt controller. 64 sources; the numbers below are the logical sources the firmware uses,
// each board maps them onto its controller.
enum {
    BSP_IRQ_TICK = 0,
    BSP_IRQ_UART0_RX = 1,
    BSP_IRQ_UART0_TX = 2,
    BSP_IRQ_UART1_RX = 3,
    BSP_IRQ_UART1_TX = 4,
    BSP_IRQ_SOURCES = 64,
};
typedef void (*bsp_isr_t)(void);

void interrupt_init(void); // every source gets the fatal default handler; global enable on
void interrupt_set_isr(int source, bsp_isr_t handler);
void interrupt_enable(int source, int fast);
void interrupt_disable(int source);
// Global mask for short critical sections: returns the previous state for bsp_irq_restore.
uint32_t bsp_irq_save(void);
void bsp_irq_restore(uint32_t state);
// Sleep until an interrupt has been handled (WFI). Every loop that waits on interrupt state calls it.
void bsp_wait_for_interrupt(void);
// The main loop found nothing to do this pass: it waits for its next line.
void bsp_idle(void);

// ---------------------------------------------------------------------------------------------
// Timer: 16.384 MHz free-running counter, period 16384 counts (1 ms), interrupt at each wrap.
enum : uint32_t { BSP_TIMER_HZ = 16384000u, BSP_TIMER_PERIOD = 16384u };
void bsp_timer_start(void);     // program the 1 ms period; the interrupt is enabled separately
uint32_t bsp_timer_count(void); // current count, 0..BSP_TIMER_PERIOD-1
void bsp_timer_ack(void);       // acknowledge the period interrupt
// The count read until two successive reads differ by at most 4 counts (an interrupt may come
// between them).
uint32_t bsp_timer_count_settled(void);
// Busy wait until `counts` counts have passed, taking interrupts meanwhile: settled reads of the
// count, summed modulo the period, until the sum reaches `counts`.
void bsp_timer_wait(uint32_t counts);

// ---------------------------------------------------------------------------------------------
// UARTs (port 0 and 1), 8-bit frames.
void bsp_uart_init(int port);
void bsp_uart_set_baud(int port, uint32_t rate); // 1200..460800
void bsp_uart_rx_irq(int port, int on);
void bsp_uart_tx_irq(int port, int on);
uint8_t bsp_uart_read(int port);      // the received byte (acknowledges the receive interrupt)
int bsp_uart_tx_ready(int port);      // the transmitter can take a byte
void bsp_uart_write(int port, uint8_t byte);
int bsp_uart_tx_empty(int port);      // everything written has left the wire
void bsp_rs485_txen(int on);          // RS485 transmit enable (driven while UART1 transmits)
// Character output of the runtime library's formatted printing: UART0 by polling.
void bsp_uart0_putchar(char c);
// Busy waits: poll bsp_uart_tx_ready / bsp_uart_tx_empty until it answers 1.
void bsp_uart_wait_tx_ready(int port);
void bsp_uart_wait_tx_empty(int port);

// ---------------------------------------------------------------------------------------------
// I2C bus primitives (the EEPROM protocol above them is portable).
int bsp_i2c_start(uint8_t address_byte); // start + address byte (R/W in bit 0); 1 when acknowledged
int bsp_i2c_write(uint8_t byte);         // 1 when acknowledged
uint8_t bsp_i2c_read(int ack);           // read one byte, then ACK (1) or NAK (0)
void bsp_i2c_stop(void);

// Configuration EEPROM at bus address 0xA0, 16-bit word addresses high byte first.
// The write is complete when EEpromWrite returns.
uint8_t EEpromRead(uint16_t address);
void EEpromWrite(uint16_t address, uint8_t byte);

// ---------------------------------------------------------------------------------------------
// Serial data flash on the SPI controller: one chip-select per command.
void InitSerialFlash(void);
void bsp_flash_select(int on);
uint8_t bsp_flash_xfer(uint8_t out);

uint32_t ReadSerialFlashID(void); // 0x9F: three bytes as one 24-bit number, low byte = capacity
uint8_t SerialFlashStatus(void);  // 0x05: bit 0 = busy
void WriteSerialFlash(uint32_t address, uint32_t count, const uint8_t *data); // 0x02, within a page
void ReadSerialFlash(uint32_t address, uint32_t count, uint8_t *buffer);      // 0x0B + dummy byte
void SectorEraseSerialFlash(uint32_t sector);                                 // 0xD8 at sector*64K
void EraseSerialFlash(void);                                                  // 0xC7

// ---------------------------------------------------------------------------------------------
// SD card slot: a native-mode card host (command/response, 512-byte data transfers).
enum {
    BSP_SD_CLOCK_OFF = 0,
    BSP_SD_CLOCK_IDENT = 1, // identification clock
    BSP_SD_CLOCK_FULL = 2,
};
enum {
    BSP_SD_RESP_NONE = 0,
    BSP_SD_RESP_SHORT = 1,      // 32-bit response (R1, R6, R7)
    BSP_SD_RESP_SHORT_NOCRC = 2, // R3 (OCR): no CRC
    BSP_SD_RESP_LONG = 3,        // 128-bit response (R2)
};
// Error flags reported by the card host.
enum {
    BSP_SD_OK = 0,
    BSP_SD_ERR_DATA_TIMEOUT = 1 << 0,
    BSP_SD_ERR_RESP_TIMEOUT = 1 << 1,
    BSP_SD_ERR_CRC_WRITE = 1 << 2,
    BSP_SD_ERR_CRC_READ = 1 << 3,
    BSP_SD_ERR_RESP_CRC = 1 << 4,
    BSP_SD_ERR_WRITE_STATUS = 1 << 5, // the card's write status reported a CRC or write error
};
int bsp_sd_card_detect(void); // 1 when a card is in the slot
void SDCardSlotInit(void);
void bsp_sd_power(int on);
void bsp_sd_lines_low(void);
void bsp_sd_clock(int mode);
// Send a command; response words most significant first (resp[0] only for short responses).
int bsp_sd_command(uint8_t cmd, uint32_t arg, int resp_kind, uint32_t resp[4]);
int bsp_sd_read_data(uint8_t *block512);        // data phase of a block read
int bsp_sd_write_data(const uint8_t *block512); // data phase of a block write
void bsp_sd_led(int on);

// ---------------------------------------------------------------------------------------------
// Touch converter on its own synchronous serial interface.
void InitTouch(void);
// One conversion: the command byte, then two bytes clocked in; returns (b1 << 5) | (b2 >> 3).
uint16_t bsp_touch_convert(uint8_t command);
int bsp_touch_pen_down(void); // 1 while the panel is touched (the line itself is active low)

// ---------------------------------------------------------------------------------------------
// LCD controller and panel.
void bsp_lcd_setup(uint32_t fb_addr, uint16_t width, uint16_t height); // 16 bits per pixel
void bsp_lcd_timing(uint8_t hfp, uint8_t hpw, uint8_t hbp, uint8_t vfp, uint8_t vpw, uint8_t vbp);
void bsp_lcd_clock_edge(int edge);
int bsp_lcd_frame_start(void); // the frame-start flag (read and cleared once per tick)
void LCD_sigs_low(void);       // panel control signals to their idle (powered-down) levels
void LCD_sigs_active(void);
void LCD_sigs_buf_ena(int on);
void bsp_lcd_idle_level(int high); // the idle level of the one build-dependent panel signal
void bsp_scan_direction(uint8_t orient_bits);
void bsp_vq_set(int level);
int bsp_vq_get(void);
void bsp_panel_supply(int on); // the line itself is active low
void bsp_backlight_pwm_enable(int on);
void bsp_backlight_duty(uint8_t duty);
void bsp_inverter_enable_line(int level);

// ---------------------------------------------------------------------------------------------
// Beeper: a timer toggling the speaker output at twice the tone frequency.
void bsp_tone_start(uint32_t reload); // reload = 16666666 / (2 * frequency) - 1
void bsp_tone_stop(void);
void bsp_speaker(int on);
void bsp_volume_duty(uint8_t duty);   // volume * 102 / 255
void bsp_external_speaker(int on);

// ---------------------------------------------------------------------------------------------
// LEDs, temperature, reset.
void Led(int state);                  // the status LED
int16_t bsp_temperature_tenths(void); // board temperature in tenths of a degree
[[noreturn]] void bsp_watchdog_reset(void); // restart from main; stored data is kept
[[noreturn]] void bsp_fatal(const char *what); // unrecoverable fault (unclaimed interrupt, ...)
