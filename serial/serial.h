// Serial link: the two UARTs in their main and aux roles, the main receive ring and line assembly,
// flow control, abort and escape detection, and the transmit path.
#pragma once

#include <limits.h>
#include <stdint.h>

#include "base/console.h"

// POSIX's <limits.h> has a LINE_MAX of its own (2048). It is included first and its macro removed,
// so that LINE_MAX below means this system's 130 whatever is included before or after this header.
#undef LINE_MAX

// ---- port roles and rates ----------------------------------------------------------------------
extern volatile uint8_t mainIsUart0; // 1: UART0 is main, UART1 aux
extern uint8_t prevMain;             // 1 when UART1 was main before the last role switch
extern uint32_t baudrate0, baudrate1;

void QV_COM_Init0(void); // power-up: UART0 in the main role
void QV_COM_Init1(void); // power-up: UART1 in the aux role
void makeUart0Main(void);
void makeUart1Main(void);
uint32_t QV_COM_BaudRate(uint32_t rate); // sets UART0; a rate without a code sets 115200
uint32_t QV_AUX_BaudRate(uint32_t rate); // sets UART1
uint32_t QV_COM_getBaud(int port);
int mainPort(void); // the UART number (0 or 1) of the main port

// Interrupt handlers of the two roles. The role switches install them; the binary transfers
// replace the main receive handler for their duration and put it back with these names.
void uart0MainRxIsr(void);
void uart1MainRxIsr(void);
void uart0AuxRxIsr(void);
void uart1AuxRxIsr(void);
void uart0MainTxIsr(void);
void uart1MainTxIsr(void);
void uart0AuxTxIsr(void);
void uart1AuxTxIsr(void);

// ---- main receive ring -------------------------------------------------------------------------
enum { RX_BUF_SIZE = 512, RX_XOFF_LEVEL = 384, RX_XON_LEVEL = 128, AUX_BUF_SIZE = 129 };
enum { LINE_MAX = 130 }; // characters of a text line before its CR

// Shared with the receive interrupts. The main loop moves rxTail alone and decrements rxCount and
// rxGotLine only with interrupts disabled.
extern uint8_t rxBuf[RX_BUF_SIZE];
extern uint8_t *volatile rxHead; // next write position (interrupt side)
extern uint8_t *volatile rxTail; // next read position (main-loop side)
extern volatile uint32_t rxCount;
extern volatile uint32_t rxGotLine;
extern volatile uint32_t debugGotLine;
extern volatile uint8_t binaryMode; // bytes still expected of the binary line being received
extern volatile uint8_t binaryEnable;
extern uint8_t binaryDisable;
extern volatile uint8_t startCmd;
extern volatile uint8_t bufferOverflow;
extern volatile uint8_t rxStopped; // XOFF sent to the host; held at 1 in RS485 mode
extern volatile uint8_t rxError;
extern volatile uint8_t xoff; // the host sent XOFF

// 0 nothing, 1 a line is ready, 2 overflow, 3 broken binary line, 4 receive error.
int isLineAvail(void);
// For commands that wait (w, beepw, the memory test, pen waits): the status of isLineAvail, but an
// overflow or receive error is held for the main loop's next look instead of being lost in the wait.
int lineStatusInWait(void);
// True when a line from the host has arrived that begins with ESC (never in RS485 mode): it ends a wait.
int hostSentEscape(void);
// Removes one line into buffer (size + 1 bytes); "*IERR" / "*SERR" for an empty ring / broken line.
void rxString(char *buffer, int size);
void rxReset(void);
int checkEscape(void);
int checkAbortCmd(void);
void fakeNullCommand(void);
void decRxGotLine(void);
uint8_t waitChar(void);
uint8_t peekChar(void);
int rxHeld(void); // bytes held in the main ring

// ---- binary transfers: the main port's receive handler stores every byte as it is -------------
// Installs the plain handler on the main port and empties the ring.
void makeUartBinMain(void);
// Puts the normal handler back and empties the ring.
void restoreUartBinMain(void);
// During a transfer: one byte to the host (the '>' CR that starts it, XON).
void binTxChar(uint8_t c);
// During a transfer: XON to a stopped host once no more than 128 bytes are held and no message is
// on the wire.
void binFlowControl(void);
// After a failed transfer: bytes are taken and dropped (the host let go with XON) until none has
// come for quietMs, so that the rest of a broken stream is never read as commands.
void binDrain(uint32_t quietMs);
// What is still arriving of a broken stream is dropped until the line has been quiet this long.
enum : uint32_t { BIN_DRAIN_MS = 100 };
// A failed transfer: drains as binDrain does, then puts the normal handler back; 0.
int binAbandon(uint32_t quietMs);

// ---- aux ring ----------------------------------------------------------------------------------
extern uint8_t aRxBuf[AUX_BUF_SIZE];
extern volatile uint32_t aRxCount;
extern volatile uint8_t auxEscCnt;

int anyAuxRx(void);
int getAuxRx(char *buffer, int size);
int getAinBin(uint8_t *buffer, int max);
void aFlushRx(void);

// ---- transmit path -----------------------------------------------------------------------------
enum { TX_BUF_SIZE = 129, TX_MAX = 128, POUT_BUF_SIZE = 127 };

extern char txBuf[TX_BUF_SIZE]; // the message being sent; in RS485 mode also the held notices
extern const char *volatile txPtr;
extern volatile uint8_t txBusy; // the main transmitter is in use (interrupt-driven or polled)
extern const char *volatile aTxPtr;
extern volatile uint8_t aTxBusy;
extern char rs485prefix[4]; // SOF, 'F', 'F' in front of every message in RS485 mode
extern uint8_t stringSent;
extern uint8_t binaryResponses;

void txChar(uint8_t c);
void txSavedBuf(void);
int anythingToTx(void);
void txWait(void);
void txBinary(const uint8_t *bytes, int n);
void aTxString(const char *text);
void aTxBinary(const uint8_t *bytes, int n);

// ---- commands of this room (return the interpreter's result code) -------------------------------
int cmdBaud(char *line);     // "baud", "baudp", "bauds"
int cmdCom0Main(char *line); // "*com0main"
int cmdCom1Main(char *line); // "*com1main"
int cmdPrevCons(char *line); // "*prevCons"
int cmdAuxEsc(char *line);   // "*auxEsc"
int cmdAuxIO(char *line);    // "auxIO"
int cmdAin(char *line);      // "ain", "ainb"
int cmdBMOFF(char *line);    // "*BMOFF"
int cmdBinr(char *line);     // "*binr"
int cmdOut(char *line);      // "out", "outs"
int cmdAout(char *line);     // "aout", "aouts"
