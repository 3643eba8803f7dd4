// The serial commands, called as the catalogue calls them, with their replies and effects.
#include <math.h>
#include <string.h>

#include "base/parse.h"
#include "serial/rs485.h"
#include "tests/serial/serial_fixture.h"

class Commands : public Serial {
  protected:
    // Runs a handler on a writable copy of the line, as the interpreter does.
    int run(int (*handler)(char *), const std::string &line) {
        char buf[LINE_MAX + 1];
        snprintf(buf, sizeof buf, "%s", line.c_str());
        return handler(buf);
    }
    // The bytes the port sent since the last clearOut went out back to back at this rate: each
    // one 10 bit times after the one before it (within 1 %: the interrupt that refills the
    // transmitter takes a few counts).
    static bool sentAt(int port, uint32_t rate) {
        testboard::settle();
        const std::vector<SimTxByte> &log = sim_tx_log(port);
        const double byteTime = 10.0 * (double)BSP_TIMER_HZ / rate;
        for (size_t i = 1; i < log.size(); i++)
            if (fabs((double)(log[i].time - log[i - 1].time) - byteTime) > byteTime / 100) return false;
        return log.size() >= 2;
    }
};

TEST_F(Commands, BaudQueries) {
    EXPECT_EQ(run(cmdBaud, "baud"), CMD_OK);
    EXPECT_EQ(out(0), "115200\r");
    QV_AUX_BaudRate(57600);
    clearOut();
    EXPECT_EQ(run(cmdBaud, "baud1"), CMD_OK);
    EXPECT_EQ(run(cmdBaud, "baudp0"), CMD_OK);
    EXPECT_EQ(run(cmdBaud, "bauds1 "), CMD_OK);
    EXPECT_EQ(run(cmdBaud, "baud x"), CMD_OK);
    EXPECT_EQ(out(0), "57600\r115200\r57600\r115200\r");
}

TEST_F(Commands, BaudSetsNowThePromptFollowsAtTheNewRate) {
    EXPECT_EQ(run(cmdBaud, "baud 9600"), CMD_OK);
    EXPECT_EQ(out(0), "");
    EXPECT_EQ(sim_board().uartRate[0], 9600u);
    EXPECT_EQ(QV_COM_getBaud(0), 9600u);
    txString(">\r"); // the main loop's prompt
    EXPECT_TRUE(sentAt(0, 9600));

    EXPECT_EQ(run(cmdBaud, "baud1 460800"), CMD_OK);
    EXPECT_EQ(sim_board().uartRate[1], 460800u);
    EXPECT_EQ(baudrate1, 460800u);
    EXPECT_EQ(sim_board().uartRate[0], 9600u);
    EXPECT_EQ(eepromWrites(), 0u) << "baud does not save";
}

TEST_F(Commands, BaudpAnswersAtTheOldRate) {
    EXPECT_EQ(run(cmdBaud, "baudp 9600"), CMD_SILENT);
    EXPECT_EQ(out(0), ">\r");
    EXPECT_TRUE(sentAt(0, 115200)) << "the transmitter is drained before the change";
    EXPECT_EQ(sim_board().uartRate[0], 9600u);
    EXPECT_EQ(eepromWrites(), 0u);
}

TEST_F(Commands, BaudsSavesTheCode) {
    EXPECT_EQ(run(cmdBaud, "bauds1 57600"), CMD_SILENT);
    EXPECT_EQ(eepromData[CFG_BAUD1], 6);
    EXPECT_EQ(stored(CFG_BAUD1), 6);
    EXPECT_EQ(out(0), ">\r");
    EXPECT_EQ(sim_board().uartRate[1], 57600u);
    EXPECT_EQ(sim_board().uartRate[0], 115200u);

    // On UART1 as main, the port character picks UART1.
    makeUart1Main();
    clearOut();
    EXPECT_EQ(run(cmdBaud, "bauds 19200"), CMD_SILENT);
    EXPECT_EQ(out(1), ">\r");
    EXPECT_TRUE(sentAt(1, 57600));
    EXPECT_EQ(eepromData[CFG_BAUD1], 4);
    EXPECT_EQ(stored(CFG_BAUD1), 4);
    EXPECT_EQ(sim_board().uartRate[1], 19200u);
}

TEST_F(Commands, RatesWithoutACode) {
    EXPECT_EQ(run(cmdBaud, "baud 2400"), CMD_FAIL);
    EXPECT_EQ(run(cmdBaud, "baudp 0"), CMD_FAIL);
    EXPECT_EQ(out(0), "");
    EXPECT_EQ(sim_board().uartRate[0], 115200u);

    EXPECT_EQ(run(cmdBaud, "bauds 2400"), CMD_FAIL);
    EXPECT_EQ(out(0), ":baud rate 2400 not supported, not saved\r");
    EXPECT_EQ(eepromWrites(), 0u);
    clearOut();
    // The rate reads as a 32-bit unsigned number and prints as the 32-bit board prints it.
    EXPECT_EQ(run(cmdBaud, "bauds0 4294967295"), CMD_FAIL);
    EXPECT_EQ(run(cmdBaud, "bauds0 99999999999"), CMD_FAIL);
    EXPECT_EQ(out(0), ":baud rate -1 not supported, not saved\r:baud rate -1 not supported, not saved\r");
    EXPECT_EQ(eepromData[CFG_BAUD0], 7);

    // A rate without a code given to the port functions sets 115200.
    EXPECT_EQ(QV_COM_BaudRate(14400), 115200u);
    EXPECT_EQ(QV_AUX_BaudRate(1200), 1200u);
}

TEST_F(Commands, MainPortCommands) {
    EXPECT_EQ(run(cmdCom1Main, "*com1main"), CMD_OK);
    EXPECT_EQ(mainIsUart0, 0);
    EXPECT_EQ(prevMain, 0);
    EXPECT_EQ(eepromData[CFG_MAIN_PORT], 1);
    EXPECT_EQ(stored(CFG_MAIN_PORT), 1);

    EXPECT_EQ(run(cmdCom0Main, "*com0mains"), CMD_OK);
    EXPECT_EQ(mainIsUart0, 1);
    EXPECT_EQ(prevMain, 1);
    EXPECT_EQ(eepromData[CFG_MAIN_PORT], 0);
    EXPECT_EQ(stored(CFG_MAIN_PORT), 1) << "the 's' form sets RAM only";
    EXPECT_EQ(sim_board().isrChangesWhileOn, 0);

    // Back to the previous port: UART1, without RS485 (no address configured).
    EXPECT_EQ(run(cmdPrevCons, "*prevCons"), CMD_SILENT);
    EXPECT_EQ(mainIsUart0, 0);
    EXPECT_EQ(prevMain, 0);
    EXPECT_NE(eepromData[CFG_RS485_MODE], CFG_MODE_ON);
    EXPECT_EQ(run(cmdPrevCons, "*prevCons"), CMD_SILENT);
    EXPECT_EQ(mainIsUart0, 1);
    EXPECT_EQ(out(0) + out(1), "") << "no reply";

    // With an RS485 address configured, RS485 mode comes back on.
    eepromData[CFG_RS485_ADDR] = 0x1A;
    eepromData[CFG_RS485_SOF] = '$';
    run(cmdCom1Main, "*com1mains");
    run(cmdCom0Main, "*com0mains");
    EXPECT_EQ(run(cmdPrevCons, "*prevCons"), CMD_SILENT);
    EXPECT_EQ(eepromData[CFG_RS485_MODE], CFG_MODE_ON);
    EXPECT_TRUE(rs485Active());
    EXPECT_EQ(mainIsUart0, 0);
    EXPECT_EQ(rxStopped, 1);
    EXPECT_STREQ(rs485prefix, "$FF");
}

TEST_F(Commands, AuxSettings) {
    EXPECT_EQ(run(cmdAuxEsc, "*auxEsc"), CMD_OK);
    EXPECT_EQ(run(cmdAuxEsc, "*auxEsc 9B"), CMD_OK);
    EXPECT_EQ(out(0), "0x0d\r0x1b\r");
    EXPECT_EQ(eepromData[CFG_AUX_ESC], 0x1B);
    EXPECT_EQ(stored(CFG_AUX_ESC), 0x1B);
    // The new escape byte counts at once.
    rx(1, "\x1b\x1b\x1b");
    EXPECT_EQ(isLineAvail(), 0);
    EXPECT_EQ(mainIsUart0, 0);

    clearOut();
    EXPECT_EQ(run(cmdAuxIO, "auxIO"), CMD_OK);
    rx(0, "stale");
    EXPECT_EQ(anyAuxRx(), 8);
    EXPECT_EQ(run(cmdAuxIO, "auxIO 1"), CMD_OK);
    EXPECT_EQ(anyAuxRx(), 0) << "turning forwarding on drops what was held";
    EXPECT_EQ(eepromData[CFG_AUX_FORWARD], CFG_MODE_ON);
    EXPECT_EQ(stored(CFG_AUX_FORWARD), CFG_MODE_ON);
    EXPECT_EQ(run(cmdAuxIO, "auxIO"), CMD_OK);
    EXPECT_EQ(run(cmdAuxIO, "auxIO 0"), CMD_OK);
    EXPECT_EQ(eepromData[CFG_AUX_FORWARD], CFG_UNSET);
    EXPECT_EQ(stored(CFG_AUX_FORWARD), CFG_UNSET);
    EXPECT_EQ(run(cmdAuxIO, "auxIO"), CMD_OK);
    EXPECT_EQ(out(1), "0\r1\r0\r");
}

TEST_F(Commands, AinTextAndBinary) {
    EXPECT_EQ(run(cmdAin, "ain"), CMD_OK);
    EXPECT_EQ(out(0), ":");
    clearOut();
    rx(1, "hello");
    EXPECT_EQ(run(cmdAin, "ain"), CMD_OK);
    EXPECT_EQ(out(0), ":hello");
    EXPECT_EQ(anyAuxRx(), 0);

    clearOut();
    rx(1, std::string("a\0b", 3));
    EXPECT_EQ(run(cmdAin, "ainb"), CMD_OK);
    rx(1, "xy");
    EXPECT_EQ(run(cmdAin, "ain b"), CMD_OK);
    EXPECT_EQ(run(cmdAin, "ain b"), CMD_OK);
    EXPECT_EQ(out(0), std::string("\x03"
                                  "a\0b"
                                  "\x02xy"
                                  "\x00",
                                  8));

    // A full aux ring: the text form sends what fits one message and keeps the rest.
    clearOut();
    std::string full;
    for (int i = 0; i < 129; i++) full += (char)('0' + i % 10);
    rx(1, full);
    EXPECT_EQ(run(cmdAin, "ain "), CMD_OK);
    std::string expected = ":";
    expected.append(full, 0, 127);
    EXPECT_EQ(out(0), expected);
    EXPECT_EQ(anyAuxRx(), 2);
    clearOut();
    rx(1, full);
    EXPECT_EQ(run(cmdAin, "ainb"), CMD_OK);
    expected = "\x80";
    expected.append(full, 127, 2).append(full, 0, 126); // two left over, then what fitted the ring
    EXPECT_EQ(out(0), expected);
}

TEST_F(Commands, BinaryLinesOffAndBinaryResponses) {
    EXPECT_EQ(run(cmdBMOFF, "*BMOFF"), CMD_OK);
    EXPECT_EQ(binaryEnable, 0);
    EXPECT_EQ(binaryDisable, 1);
    rx(0, "\x83M\x01\x02\r");
    EXPECT_EQ(next(), "\x83M\x01\x02\r");

    EXPECT_EQ(run(cmdBinr, "*binr 1"), CMD_OK);
    EXPECT_EQ(binaryResponses, 1);
    EXPECT_EQ(run(cmdBinr, "*binr 0"), CMD_OK);
    EXPECT_EQ(binaryResponses, 0);
    EXPECT_EQ(run(cmdBinr, "*binr 2"), CMD_OK);
    EXPECT_EQ(binaryResponses, 0) << "only 1 turns them on, as the reply says";
    EXPECT_EQ(out(0), "on\roff\roff\r");
}

TEST_F(Commands, OutSendsRawBytes) {
    EXPECT_EQ(run(cmdOut, "out \"A\\0B\\x01\\r\""), CMD_OK);
    EXPECT_EQ(out(0), std::string("A\0B\x01\r", 5));
    clearOut();
    EXPECT_EQ(run(cmdOut, "out \"\""), CMD_OK);
    EXPECT_EQ(out(0), "");

    EXPECT_EQ(run(cmdOut, "out\"x\""), CMD_FAIL);
    EXPECT_EQ(run(cmdOut, "out  \"x\""), CMD_FAIL);
    EXPECT_EQ(run(cmdOut, "out x"), CMD_FAIL);
    const std::string missing = ":missing single space and/or double quote\r";
    EXPECT_EQ(out(0), missing + missing + missing);

    // "outs": the text between the quotes as typed, no prompt.
    clearOut();
    EXPECT_EQ(run(cmdOut, "outs \"a\\x41 `v`\" tail"), CMD_SILENT);
    EXPECT_EQ(out(0), "a\\x41 `v`");
    EXPECT_EQ(run(cmdOut, "outs no quote"), CMD_FAIL);
}

TEST_F(Commands, OutInRs485ModeIsANotice) {
    eepromData[CFG_RS485_MODE] = CFG_MODE_ON;
    eepromData[CFG_RS485_SOF] = '#';
    Init_485mode();
    clearOut();
    EXPECT_EQ(run(cmdOut, "out \"hi\\r\""), CMD_OK);
    EXPECT_EQ(out(1), "");
    EXPECT_STREQ(txBuf, "#FFhi\r");
}

TEST_F(Commands, AoutOnTheAuxPort) {
    EXPECT_EQ(run(cmdAout, "aout \"\\x41\\0z\""), CMD_OK);
    EXPECT_EQ(out(1), std::string("A\0z", 3));
    EXPECT_EQ(run(cmdAout, "aout nothing"), CMD_FAIL);
    clearOut();
    EXPECT_EQ(run(cmdAout, "aouts \"a\\rb\""), CMD_OK);
    EXPECT_EQ(out(1), "a\\rb");
    EXPECT_EQ(out(0), "");
}
