// Stand-ins of the rooms a unit test does not link, each in a file of its own so that a program
// takes only those it needs, with the controls a test sets on them. The devices themselves are
// never stood in: tests run them on the test board (board/host/test_board.h).
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

namespace standin {

// serial/ (standin_serial.cpp): the main-port switches, txWait, the receive side's abort and
// escape checks, RS485 mode (off) and the main port's rate (baudrate0, 115200).
extern int mainPortSwitches; // makeUart0Main and makeUart1Main calls
extern int mainPort;         // 0 or 1, as the last of them left it
extern int abortAfter;       // checkAbortCmd reports "*abt" from this call on (-1 never)
extern int escapeAfter;      // checkEscape reports ESC CR from this call on (-1 never)
void resetSerial();

// app/ (standin_interpreter.cpp): parse_command records every line and hands the macro and
// register commands to their handlers; "fail" fails, "silent" answers nothing, "queue N"
// schedules macro N.
extern std::vector<std::string> ran; // the lines it was given, in order

// touch/ (standin_touch.cpp): handle_touch calls onTouch with its call count; a touch left the
// relative point (5, 6), the absolute point (105, 206), and slider 3 at 30.
extern std::function<void(int)> onTouch;
void resetTouch();

// gfx/ (standin_screen.cpp): the screen writer GUI_BMP_Serialize sends screenBmp() byte by byte
// and lets bmpMsPerByte milliseconds of board time pass after each.
extern uint32_t bmpExtra; // bytes after the picture's own
extern int bmpMsPerByte;
std::vector<uint8_t> screenBmp(); // a 2 x 2 BMP of four colours, then bmpExtra bytes of 0x42
void resetScreen();

// macro/ (standin_macro.cpp): the "*macdebug" switch, macroVerbose, that "config.ini" sets.

} // namespace standin
