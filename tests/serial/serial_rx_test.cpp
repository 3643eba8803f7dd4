// Receive side: line assembly, binary lines, flow control, overflow, abort and escape detection,
// the aux ring and the role swap.
#include <string.h>

#include "serial/rs485.h"
#include "tests/serial/serial_fixture.h"

using RxLines = Serial;

TEST_F(RxLines, TextLinesBackspaceAndCrLf) {
    EXPECT_EQ(isLineAvail(), 0);
    rx(0, "hello\r");
    EXPECT_EQ(next(), "hello\r");
    EXPECT_EQ(isLineAvail(), 0);

    rx(0, "a\bb\r");
    EXPECT_EQ(next(), "b\r");

    // Backspace on an empty line removes nothing; several remove several.
    rx(0, "\bxy\b\bz\r");
    EXPECT_EQ(next(), "z\r");

    // CR LF line ends: the LF is dropped at the start of the next line.
    rx(0, "\r\nx\r");
    EXPECT_EQ(rxGotLine, 2u);
    EXPECT_EQ(next(), "\r");
    EXPECT_EQ(next(), "x\r");
    EXPECT_EQ(isLineAvail(), 0);
    EXPECT_EQ(rxHeld(), 0);
}

TEST_F(RxLines, LineLengthLimits) {
    rx(0, repeat('a', 129) + "\r");
    EXPECT_EQ(next(), repeat('a', 129) + "\r");

    rx(0, repeat('b', 130) + "\r");
    EXPECT_EQ(next(), repeat('b', 130)); // the CR of a 130-character line is not stored
    EXPECT_EQ(rxHeld(), 0);
    EXPECT_EQ(rxGotLine, 0u);

    // 131 characters: the line is broken and everything held goes, the next line too.
    rx(0, repeat('c', 131) + "\rnext\r");
    EXPECT_EQ(next(), "*SERR");
    EXPECT_EQ(rxHeld(), 0);
    EXPECT_EQ(isLineAvail(), 0);

    // A backspace gives its character back: 131 typed, one rubbed out.
    rx(0, repeat('d', 100) + "x\b" + repeat('d', 30) + "\r");
    EXPECT_EQ(next(), repeat('d', 130));
}

TEST_F(RxLines, EmptyRingReadsAsIERR) {
    EXPECT_EQ(take(), "*IERR");
    // A line whose CR is missing although a line was counted: broken, not read past the ring.
    rx(0, "abc");
    rxGotLine = 1;
    EXPECT_EQ(take(), "*SERR");
    EXPECT_EQ(rxHeld(), 0);
}

TEST_F(RxLines, BinaryLines) {
    rx(0, "\x83M\x01\x02");
    EXPECT_EQ(nextBinary(), std::string("\x83M\x01\x02", 4));
    EXPECT_EQ(rxHeld(), 0);

    // No byte is special inside a binary line but XON and XOFF; the line needs no CR.
    rx(0, std::string("\x84\r\x81\x13\x00\r", 6));
    EXPECT_EQ(xoff, 1);
    EXPECT_EQ(rxGotLine, 1u);
    EXPECT_EQ(nextBinary(), std::string("\x84\r\x81\x00\r", 5));
    rx(0, "\x11");
    EXPECT_EQ(xoff, 0);

    // A lead byte inside a text line is text.
    rx(0, "a\x85\x90z\r");
    EXPECT_EQ(next(), "a\x85\x90z\r");

    // Binary and text lines queue in order.
    rx(0, "\x82M\x05t1\r\x81\x07");
    EXPECT_EQ(rxGotLine, 3u);
    EXPECT_EQ(nextBinary(), "\x82M\x05");
    EXPECT_EQ(next(), "t1\r");
    EXPECT_EQ(nextBinary(), "\x81\x07");

    // A line is read as it was received: a binary line that came in before binary lines were
    // switched off stays binary, and its bytes are not taken for the text line after it.
    rx(0, "\x84vers\r");
    binaryEnable = 0;
    EXPECT_EQ(nextBinary(), "\x84vers");
    EXPECT_EQ(next(), "\r");
    EXPECT_EQ(isLineAvail(), 0);
    binaryEnable = 1;

    // After a CR LF line end the LF has started the next line: a lead byte after it is text.
    rx(0, "a\r\n\x84vers\r");
    EXPECT_EQ(next(), "a\r");
    EXPECT_EQ(next(), "\x84vers\r");
    EXPECT_EQ(isLineAvail(), 0);
    EXPECT_EQ(rxHeld(), 0);
}

TEST_F(RxLines, PollDuringBinaryLine) {
    // Two bytes still missing: the poll waits for them.
    rx(0, "\x83M");
    EXPECT_EQ(isLineAvail(), 0);
    rx(0, "\x01\x02");
    EXPECT_EQ(nextBinary(), std::string("\x83M\x01\x02", 4));

    // Three missing: the poll breaks the line off and empties the ring.
    rx(0, "\x83");
    EXPECT_EQ(isLineAvail(), 3);
    EXPECT_EQ(rxHeld(), 0);
    EXPECT_EQ(isLineAvail(), 0);
}

TEST_F(RxLines, BinaryLinesOff) {
    binaryEnable = 0;
    rx(0, "\x83M\r");
    EXPECT_EQ(next(), "\x83M\r");
}

TEST_F(RxLines, LinesWhileBytesKeepArriving) {
    // The bytes come at the line's pace: lines are read while the next ones come in.
    std::string all;
    for (int i = 0; i < 60; i++) all += "line " + std::to_string(i) + "\r";
    sim_send(0, all);
    int got = 0;
    for (int guard = 0; guard < 100000 && got < 60; guard++) {
        int st = isLineAvail();
        ASSERT_NE(st, 2);
        if (st == 1) {
            EXPECT_EQ(take(), "line " + std::to_string(got) + "\r");
            got++;
        } else {
            bsp_wait_for_interrupt();
        }
    }
    EXPECT_EQ(got, 60);
    EXPECT_EQ(sim_board().irqRestoresWhileOpen, 0);
}

TEST_F(RxLines, WaitAndPeek) {
    rx(0, "ab");
    EXPECT_EQ(peekChar(), 'a');
    EXPECT_EQ(rxHeld(), 2);
    EXPECT_EQ(waitChar(), 'a');
    EXPECT_EQ(waitChar(), 'b');
    // waitChar sleeps on the board until a byte comes.
    sim_send(0, "c");
    EXPECT_EQ(waitChar(), 'c');
    EXPECT_EQ(rxHeld(), 0);
}

using FlowControl = Serial;

// Lines of ten bytes each.
static std::string tenByteLines(int n) {
    std::string s;
    for (int i = 0; i < n; i++) {
        char b[16];
        snprintf(b, sizeof b, "l%08d\r", i); // 9 characters + CR
        s += b;
    }
    return s;
}

TEST_F(FlowControl, OneXoffAbove384AndXonAtOrBelow128) {
    rx(0, tenByteLines(38) + "12345"); // 385 bytes: none yet arrived above 384
    EXPECT_EQ(out(0), "");
    rx(0, "6"); // arrives while 385 are held
    EXPECT_EQ(out(0), "\x13");
    rx(0, "789\r" + tenByteLines(10));
    EXPECT_EQ(out(0), "\x13") << "XOFF only once";
    EXPECT_EQ(rxStopped, 1);

    int lines = 0;
    for (;;) {
        int heldBefore = rxHeld();
        ASSERT_EQ(isLineAvail(), 1);
        if (out(0).size() == 2) {
            EXPECT_LE(heldBefore, 128);
            break;
        }
        EXPECT_GT(heldBefore, 128) << "XON is due at 128 or fewer";
        take();
        lines++;
    }
    EXPECT_EQ(out(0), "\x13\x11");
    EXPECT_EQ(rxStopped, 0);
    EXPECT_EQ(lines, 37); // 490 held; 37 lines of 10 bring it to 120
}

TEST_F(FlowControl, XoffNotIntoARunningTransmission) {
    rx(0, tenByteLines(38) + "12345");
    txBusy = 1;
    rx(0, "6");
    EXPECT_EQ(out(0), "");
    txBusy = 0;
    rx(0, "7");
    EXPECT_EQ(out(0), "\x13");
}

TEST_F(FlowControl, NoXoffInRs485Mode) {
    eepromData[CFG_RS485_MODE] = CFG_MODE_ON;
    eepromData[CFG_RS485_SOF] = '#';
    eepromData[CFG_RS485_ADDR] = 0x1A;
    Init_485mode();
    clearOut();
    std::string framed;
    for (int i = 0; i < 45; i++) framed += "#1A" + tenByteLines(1);
    rx(1, framed); // 585 bytes: past the XOFF level and the ring, and still no XOFF
    EXPECT_EQ(out(1), "");
    while (isLineAvail() == 1) take();
    EXPECT_EQ(out(1), "") << "no XON either";
    // Nor when only part of a line is held, nor after the ring is emptied.
    rx(1, framed.substr(0, 30 * 13) + "#1Aabc");
    while (isLineAvail() == 1) take();
    EXPECT_EQ(isLineAvail(), 0);
    rx(1, "c\r"); // the ring carries over
    EXPECT_EQ(next(), "abcc\r");
}

TEST_F(FlowControl, HostXonXoffAreNotStored) {
    rx(0, "a\x13"
          "b\x11"
          "c\r");
    EXPECT_EQ(xoff, 0);
    EXPECT_EQ(next(), "abc\r");
}

TEST_F(FlowControl, OverflowReportsTwoAndEmpties) {
    rx(0, repeat('x', 512));
    EXPECT_EQ(rxHeld(), 512);
    EXPECT_EQ(bufferOverflow, 0);
    rx(0, "y\x13");
    EXPECT_EQ(rxHeld(), 512);
    EXPECT_EQ(xoff, 1);
    EXPECT_EQ(isLineAvail(), 2);
    EXPECT_EQ(rxHeld(), 0);
    EXPECT_EQ(xoff, 0);
    EXPECT_EQ(isLineAvail(), 0);
    rx(0, "ok\r");
    EXPECT_EQ(next(), "ok\r");
}

TEST_F(FlowControl, ReceiveErrorReportsFour) {
    rx(0, "abc\r");
    rxError = 1;
    EXPECT_EQ(isLineAvail(), 4);
    EXPECT_EQ(rxError, 0);
    EXPECT_EQ(rxHeld(), 0);
}

// A command that waits (w, beepw, the memory test) looks at the ring too: an overflow or receive
// error it sees there is held for the main loop, which answers it after the command's own reply,
// and only the first of several is kept. An ESC line ends the wait and stays in the ring.
TEST_F(FlowControl, ErrorsSeenDuringAWaitReachTheMainLoop) {
    rx(0, repeat('x', 513));
    EXPECT_EQ(lineStatusInWait(), 0);
    EXPECT_EQ(rxHeld(), 0);
    rxError = 1;
    EXPECT_EQ(hostSentEscape(), 0);
    rx(0, "\x1b\r");
    EXPECT_EQ(hostSentEscape(), 1);
    EXPECT_EQ(isLineAvail(), 2);
    EXPECT_EQ(isLineAvail(), 1);
    EXPECT_EQ(next(), "\x1b\r");
    EXPECT_EQ(isLineAvail(), 0);
}

// The host stops at the XOFF with the last line cut short: once the complete lines are taken,
// nothing more can come unless the display lets the host go, so the XON is due with no line pending.
TEST_F(FlowControl, XonWhenOnlyPartOfALineIsHeld) {
    const std::string line = repeat('v', 129) + "\r";
    rx(0, line + line + repeat('c', 126)); // the XOFF falls inside the third line
    ASSERT_EQ(out(0), "\x13");
    for (int i = 0; i < 2; i++) {
        EXPECT_EQ(next(), line);
        EXPECT_EQ(out(0), "\x13") << "no XON above 128 while lines are pending";
    }
    EXPECT_EQ(isLineAvail(), 0);
    EXPECT_EQ(out(0), "\x13\x11");
    EXPECT_EQ(rxStopped, 0);
    rx(0, "ccc\r");
    EXPECT_EQ(next(), repeat('c', 129) + "\r");
}

// A line of 129 or 130 characters, or an over-long one, may be all that is held when the host
// stops: more than 128 bytes, no complete line. The host is let go all the same.
TEST_F(FlowControl, XonWhenALongPartialLineIsAllThatIsHeld) {
    rx(0, tenByteLines(26) + repeat('a', 126)); // 386 bytes, the last 126 without a CR
    ASSERT_EQ(out(0), "\x13");
    for (int i = 0; i < 26; i++) {
        ASSERT_EQ(isLineAvail(), 1);
        take();
    }
    rx(0, "aaaa"); // two bytes in flight when the XOFF went, a little more: 130 held
    ASSERT_EQ(rxHeld(), 130);
    EXPECT_EQ(isLineAvail(), 0);
    EXPECT_EQ(out(0), "\x13\x11");
    rx(0, "\r");
    EXPECT_EQ(next(), repeat('a', 130)) << "a full-length line arrives without its CR";

    // An over-long line with no CR in sight: XON at every stop, until the ring overflows ("^").
    clearOut();
    int stops = 0;
    for (int i = 0; i < 600 && bufferOverflow == 0; i++) {
        rx(0, "b");
        if (isLineAvail() == 2) break;
        if (out(0).size() % 2) {
            ADD_FAILURE() << "XOFF left outstanding at byte " << i;
        }
        stops = (int)out(0).size() / 2;
    }
    EXPECT_GT(stops, 0);
}

// Every ring reset leaves nothing to take: an XOFF still outstanding is answered with XON at once.
TEST_F(FlowControl, XonRightAfterEveryRingReset) {
    // An over-long line read as "*SERR".
    rx(0, repeat('x', 135) + "\r" + tenByteLines(25));
    ASSERT_EQ(out(0), "\x13");
    EXPECT_EQ(next(), "*SERR");
    EXPECT_EQ(out(0), "\x13\x11");
    EXPECT_EQ(rxHeld(), 0);

    // The abort line, as the main loop handles it.
    clearOut();
    rx(0, tenByteLines(39) + "*abt\r");
    ASSERT_EQ(out(0), "\x13");
    ASSERT_EQ(isLineAvail(), 1);
    ASSERT_TRUE(checkAbortCmd());
    rxReset();
    EXPECT_EQ(out(0), "\x13\x11");
    fakeNullCommand();
    EXPECT_EQ(next(), "\r");

    // An overflow, the host having missed the XOFF.
    clearOut();
    rx(0, repeat('y', 600));
    ASSERT_EQ(out(0), "\x13");
    EXPECT_EQ(isLineAvail(), 2);
    EXPECT_EQ(out(0), "\x13\x11");

    // A binary line broken off by a poll.
    clearOut();
    rx(0, tenByteLines(38) + "12345");
    ASSERT_EQ(out(0), "");
    rx(0, "\r\x90"
          "abc"); // 390 held: XOFF; a binary line with 13 bytes still missing
    ASSERT_EQ(out(0), "\x13");
    for (int i = 0; i < 39; i++) {
        ASSERT_EQ(isLineAvail(), 1);
        take();
    }
    EXPECT_EQ(isLineAvail(), 3);
    EXPECT_EQ(out(0), "\x13\x11");
}

TEST_F(FlowControl, XonWaitsForARunningTransmissionAndComesOnce) {
    const std::string line = repeat('v', 129) + "\r";
    rx(0, line + line + repeat('c', 126));
    EXPECT_EQ(next(), line);
    EXPECT_EQ(next(), line);
    txBusy = 1;
    EXPECT_EQ(isLineAvail(), 0);
    EXPECT_EQ(out(0), "\x13") << "no XON into a message being sent";
    txBusy = 0;
    EXPECT_EQ(isLineAvail(), 0);
    EXPECT_EQ(isLineAvail(), 0);
    EXPECT_EQ(out(0), "\x13\x11") << "one XON per stop";
    // A new flood is a new stop with its own XOFF.
    rx(0, "\r" + tenByteLines(39));
    EXPECT_EQ(out(0), "\x13\x11\x13");
}

using AbortAndEscape = Serial;

// Empties the ring with its positions moved so that the next byte is stored at `index`.
static void ringTo(int index) {
    rxReset();
    char buf[LINE_MAX + 1];
    for (int left = index; left > 0;) {
        int n = left > 100 ? 100 : left;
        rx(0, std::string(n - 1, 'f') + "\r");
        while (isLineAvail() == 1) rxString(buf, LINE_MAX);
        left -= n;
    }
    ASSERT_EQ(rxHead - rxBuf, index);
}

TEST_F(AbortAndEscape, AbortLineWithQueuedLines) {
    rx(0, "m1\rm2\r*abt\r");
    EXPECT_EQ(isLineAvail(), 1);
    EXPECT_TRUE(checkAbortCmd());
    rxReset();
    fakeNullCommand();
    EXPECT_EQ(next(), "\r");
    EXPECT_EQ(isLineAvail(), 0);

    rx(0, "m1\r*abt\rx");
    EXPECT_FALSE(checkAbortCmd()) << "only the last five bytes count";
    rxReset();
    rx(0, "*abt");
    EXPECT_FALSE(checkAbortCmd()) << "no complete line";
}

TEST_F(AbortAndEscape, AbortLineAcrossTheRingEnd) {
    for (int at = 505; at <= 510; at++) {
        ringTo(at);
        rx(0, "m1\r");
        rx(0, "*abt\r"); // starts at 508 .. 513
        EXPECT_TRUE(checkAbortCmd()) << "abort line starting at " << at + 3;
    }
}

TEST_F(AbortAndEscape, EscapeFollowedByCr) {
    rx(0, "abc");
    EXPECT_FALSE(checkEscape());
    rx(0, "\x1b");
    EXPECT_FALSE(checkEscape());
    rx(0, "\r");
    EXPECT_TRUE(checkEscape());
    EXPECT_EQ(rxHeld(), 5) << "nothing consumed";
    rxReset();
    rx(0, "\x1bx\r");
    EXPECT_FALSE(checkEscape());
    rxReset();
    ringTo(511);
    rx(0, "\x1b\r");
    EXPECT_TRUE(checkEscape()) << "across the ring end";
}

using Roles = Serial;

TEST_F(Roles, ThreeAuxEscapesSwapRoles) {
    ASSERT_EQ(mainIsUart0, 1);
    rx(1, "\r\rx"); // two escapes, then another byte
    EXPECT_EQ(isLineAvail(), 0);
    EXPECT_EQ(mainIsUart0, 1);
    EXPECT_EQ(anyAuxRx(), 3) << "aux bytes are only held";

    rx(0, "ab"); // half a line on the old main port
    rx(1, "\r\r\r");
    EXPECT_EQ(isLineAvail(), 0);
    EXPECT_EQ(mainIsUart0, 0);
    EXPECT_EQ(prevMain, 0);
    EXPECT_EQ(sim_board().isrChangesWhileOn, 0) << "handlers installed with the UART interrupts off";
    EXPECT_EQ(testboard::handler(BSP_IRQ_UART1_RX), uart1MainRxIsr);
    EXPECT_EQ(testboard::handler(BSP_IRQ_UART0_RX), uart0AuxRxIsr);
    EXPECT_EQ(testboard::handler(BSP_IRQ_UART1_TX), uart1MainTxIsr);
    EXPECT_EQ(testboard::handler(BSP_IRQ_UART0_TX), uart0AuxTxIsr);

    rx(1, "c\r"); // the ring carries over
    EXPECT_EQ(next(), "abc\r");

    // Back again with three escapes on UART0; RS485 mode is left in RAM, not saved.
    eepromData[CFG_RS485_MODE] = CFG_MODE_ON;
    eepromData[CFG_RS485_SOF] = '#';
    Init_485mode();
    rx(0, "\r\r\r");
    EXPECT_EQ(isLineAvail(), 0);
    EXPECT_EQ(mainIsUart0, 1);
    EXPECT_EQ(prevMain, 1);
    EXPECT_EQ(eepromData[CFG_RS485_MODE], CFG_UNSET);
    EXPECT_EQ(eepromWrites(), 0u);

    clearOut();
    rx(0, "vers\r");
    EXPECT_EQ(next(), "vers\r");
    EXPECT_EQ(out(0), "") << "no XON left over from RS485 mode";

    // Four escapes while the loop was busy elsewhere still hand over the console.
    rx(1, "\r\r\r\r");
    EXPECT_EQ(isLineAvail(), 0);
    EXPECT_EQ(mainIsUart0, 0);
}

TEST_F(Roles, AuxRing) {
    std::string bytes;
    for (int i = 0; i < 140; i++) bytes += (char)('A' + i % 26);
    rx(1, bytes);
    EXPECT_EQ(anyAuxRx(), 129) << "129 held, the rest dropped";
    char buf[200];
    EXPECT_EQ(getAuxRx(buf, 130), 129);
    EXPECT_EQ(std::string(buf), bytes.substr(0, 129));
    EXPECT_EQ(anyAuxRx(), 0);

    rx(1, bytes.substr(0, 100)); // across the ring end
    uint8_t bin[200];
    EXPECT_EQ(getAinBin(bin, 40), 40);
    EXPECT_EQ(std::string((char *)bin, 40), bytes.substr(0, 40));
    EXPECT_EQ(getAinBin(bin, 500), 60) << "at most 128 and what is held";
    EXPECT_EQ(std::string((char *)bin, 60), bytes.substr(40, 60));

    rx(1, "xyz");
    EXPECT_EQ(getAuxRx(buf, 3), 2) << "size includes the terminator";
    EXPECT_STREQ(buf, "xy");
    aFlushRx();
    EXPECT_EQ(anyAuxRx(), 0);
}

TEST_F(Roles, Uart1MainStoresNulRightAfterACrWithNoLinePending) {
    makeUart1Main();
    rx(1, "ab\r");
    EXPECT_EQ(debugGotLine, 1u);
    decRxGotLine(); // the line was discarded by the address filter, its bytes are still held
    EXPECT_EQ(rxGotLine, 0u);
    rx(1, "\x13y");
    EXPECT_EQ(xoff, 0) << "the substituted byte is not taken as XOFF";
    EXPECT_EQ(rxHeld(), 5);
    char buf[LINE_MAX + 1];
    for (int i = 0; i < 3; i++) waitChar();
    EXPECT_EQ(waitChar(), 0);
    EXPECT_EQ(waitChar(), 0);

    // With a line pending nothing is substituted.
    rx(1, "cd\re\r");
    EXPECT_EQ(next(), "cd\r");
    EXPECT_EQ(next(), "e\r");
    rxString(buf, LINE_MAX);
    EXPECT_STREQ(buf, "*IERR");
}

TEST_F(Roles, PowerUpRatesAndPrevMain) {
    testboard::close();
    powerUp();
    eepromData[CFG_BAUD0] = 3;
    eepromData[CFG_BAUD1] = 42; // no such code
    QV_COM_Init0();
    QV_COM_Init1();
    EXPECT_EQ(sim_board().uartRate[0], 9600u);
    EXPECT_EQ(baudrate0, 9600u);
    EXPECT_EQ(sim_board().uartRate[1], 115200u);
    EXPECT_TRUE(sim_board().rxIrq[0]);
    EXPECT_TRUE(sim_board().rxIrq[1]);
    // The configured main port made main at power-up counts as the previous one.
    makeUart1Main();
    EXPECT_EQ(prevMain, 1);

    cfgSetU16(CFG_VERSION, CFG_VERSION_INVALID);
    QV_COM_Init0();
    EXPECT_EQ(sim_board().uartRate[0], 115200u) << "an invalid block gives the default rate";
    EXPECT_EQ(mainIsUart0, 1);
    EXPECT_EQ(sim_board().isrChangesWhileOn, 0);
}
