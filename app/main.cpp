// Entry and board bring-up: everything runs once, strictly in this order.
#include "app/config_file.h"
#include "app/hooks.h"
#include "app/main_loop.h"
#include "board/bsp/bsp.h"
#include "board/services/beeper.h"
#include "board/services/panel.h"
#include "board/services/services.h"
#include "board/services/timer.h"
#include "config/panel.h"
#include "displays/displays.h"
#include "gfx/gui.h"
#include "macro/macro.h"
#include "resource/resource.h"
#include "sdcard/sdcard.h"
#include "serial/rs485.h"
#include "serial/serial.h"
#include "settings/settings.h"
#include "touch/touch.h"

// The data flash's capacity byte decides its size; there are always 64 sectors.
static void sizeDataFlash(uint8_t capacity) {
    switch (capacity) {
    case 0x17:
        Flash1Size = 0x800000;
        Flash1SectorSize = 0x20000;
        break;
    case 0x18:
        Flash1Size = 0xB00000;
        Flash1SectorSize = 0x40000;
        break;
    default:
        Flash1Size = 0x400000;
        Flash1SectorSize = 0x10000;
        break;
    }
    Flash1NumSectors = 64;
}

void InitEverything(void) {
    bsp_system_clock();
    InitGPIO();
    bsp_lcd_idle_level(panelConfig.idleSignalHigh);
    LCD_sigs_low();
    setOrient(0);
    LCD_sigs_buf_ena(1);
    InitTouch();
    InitSerialFlash();
    ExtMemSize = 0xB00000;
    sizeDataFlash((uint8_t)(ReadSerialFlashID() & 0xFF));
    InitI2C();
    installHooks();
    QV_TimerInit();
    SDCardSlotInit();
    if (initialize_media() == SD_OK)
        SDhotplugInitialized();
    else
        SDhotplugFailedToInit(); // the hot-plug logic retries from the main loop
}

void QV_main(void) {
    bsp_platform_setup();
    QV_EEPROM_LoadAndFix();
    QV_COM_Init0();
    QV_COM_Init1();
    QV_EEPROM_Init();
    Init_485mode();
    if (eepromData[CFG_MAIN_PORT] == 1) makeUart1Main();
    QV_led_init();
    QV_BeepInit();
    QV_Touch_Init();
    QV_Chart_Init();
    QV_LevelBar_Init();
    STB_InitScrollTB_Resources();
    QV_Meter_Init();
    QV_Slider_Init();
    QV_Macros_Init();
    GUI_Init();
    QV_Panel_Power(1);
    QV_Delay(panelConfig.powerOnDelayMs);
    QV_External_Inverter_Off();
    QV_Panel_Signals_Active(); // applies the orientation
    QV_Delay(200);
    QV_Load_ExtMem();
    GUIDEMO_main();
}

int main(void) {
    bsp_clock_init();
    // A power cycle of the card: its lines low, then its supply on.
    bsp_sd_lines_low();
    bsp_sd_power(1);
    interrupt_init();
    InitEverything();
    QV_main();
    return 0;
}
