// Transmit side: replies, the host's XOFF, RS485 notices, formatted output, raw bytes, the aux port.
#include <string.h>

#include "serial/rs485.h"
#include "tests/serial/serial_fixture.h"

using Tx = Serial;

TEST_F(Tx, RepliesAreCutAt128) {
    txString(">\r");
    EXPECT_EQ(out(0), ">\r");
    EXPECT_EQ(stringSent, 1);
    EXPECT_EQ(txBusy, 0);
    EXPECT_FALSE(sim_board().txIrq[0]);
    EXPECT_FALSE(anythingToTx());

    clearOut();
    std::string msg;
    for (int i = 0; i < 200; i++) msg += (char)('a' + i % 26);
    txString(msg.c_str());
    EXPECT_EQ(out(0), msg.substr(0, 128));
    EXPECT_EQ(out(1), "") << "nothing on the aux port";

    clearOut();
    txString("");
    EXPECT_EQ(out(0), "");
    EXPECT_EQ(stringSent, 3);
}

// Milliseconds from `since` to the moment the first byte the port sent since the last clearOut
// began to leave.
static double msToFirstByte(int port, uint64_t since) {
    testboard::settle();
    const SimTxByte &first = sim_tx_log(port).at(0);
    return (double)(first.time - 10 * BSP_TIMER_HZ / 115200 - since) / (double)SIM_COUNTS_PER_MS;
}

TEST_F(Tx, HostXoffDelaysAtMost100ms) {
    rx(0, "\x13");
    ASSERT_EQ(xoff, 1);
    uint64_t start = sim_now();
    txString("late\r");
    EXPECT_EQ(out(0), "late\r");
    EXPECT_NEAR(msToFirstByte(0, start), 100, 0.1);
    EXPECT_EQ(xoff, 0) << "the next message goes at once";
    clearOut();
    start = sim_now();
    txString("now\r");
    EXPECT_NEAR(msToFirstByte(0, start), 0, 0.1);

    // XON 32 ms after the message was given: it leaves at the next 5 ms step.
    rx(0, "\x13");
    clearOut();
    start = sim_now();
    testboard::sendAt(start + 32 * SIM_COUNTS_PER_MS, 0, "\x11");
    txString("ok\r");
    EXPECT_EQ(out(0), "ok\r");
    EXPECT_NEAR(msToFirstByte(0, start), 35, 0.1);

    // Single bytes do not wait.
    rx(0, "\x13");
    clearOut();
    start = sim_now();
    txChar('!');
    EXPECT_EQ(out(0), "!");
    EXPECT_NEAR(msToFirstByte(0, start), 0, 0.1);
}

TEST_F(Tx, Uart1MainDrivesTheTransmitEnable) {
    makeUart1Main();
    txString("abc\r");
    EXPECT_EQ(out(1), "abc\r");
    EXPECT_EQ(out(0), "");
    for (auto &b : sim_tx_log(1)) EXPECT_TRUE(b.rs485Txen);
    EXPECT_NE(sim_board().rs485Txen, 1) << "released once the last bit has left";
    EXPECT_FALSE(sim_board().txIrq[1]);

    clearOut();
    txChar(0x11);
    uint8_t raw[3] = {1, 0, 2};
    txBinary(raw, 3);
    EXPECT_EQ(out(1), std::string("\x11\x01\x00\x02", 4));
    for (auto &b : sim_tx_log(1)) EXPECT_TRUE(b.rs485Txen);
    EXPECT_NE(sim_board().rs485Txen, 1);

    // UART0 as aux: no transmit enable.
    clearOut();
    aTxString("aux");
    EXPECT_EQ(out(0), "aux");
    for (auto &b : sim_tx_log(0)) EXPECT_FALSE(b.rs485Txen);
    EXPECT_EQ(aTxBusy, 0);
}

TEST_F(Tx, AuxPort) {
    aTxString("to aux\r");
    EXPECT_EQ(out(1), "to aux\r");
    for (auto &b : sim_tx_log(1)) EXPECT_TRUE(b.rs485Txen) << "UART1 as aux is the RS485 port too";
    EXPECT_NE(sim_board().rs485Txen, 1);
    EXPECT_EQ(stringSent, 0) << "aux output is no main-port transmission";

    clearOut();
    uint8_t raw[129];
    for (int i = 0; i < 129; i++) raw[i] = (uint8_t)i;
    aTxBinary(raw, 129);
    EXPECT_EQ(out(1), std::string((char *)raw, 129));
    clearOut();
    aTxBinary(raw, 130);
    EXPECT_EQ(out(1), "");
    EXPECT_EQ(out(0), ":internal error aTxBinary()\r");
}

TEST_F(Tx, BinaryBytes) {
    uint8_t raw[130];
    for (int i = 0; i < 130; i++) raw[i] = (uint8_t)(255 - i);
    txBinary(raw, 129);
    EXPECT_EQ(out(0), std::string((char *)raw, 129));
    clearOut();
    txBinary(raw, 130);
    EXPECT_EQ(out(0), ":internal error txBinary()\r");
}

TEST_F(Tx, NoXoffBetweenBinaryBytes) {
    std::string fill;
    for (int i = 0; i < 38; i++) fill += "123456789\r";
    rx(0, fill + "1234"); // 384 held
    sim_send(0, "abcd");  // arriving while the bytes go out
    uint8_t raw[10] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    txBinary(raw, 10);
    EXPECT_EQ(rxHeld(), 388);
    // The XOFF owed meanwhile cannot follow the last byte: that byte is still in the transmitter
    // when txBinary returns. The next byte from the host brings it.
    EXPECT_EQ(out(0), "0123456789");
    rx(0, "e");
    EXPECT_EQ(out(0), "0123456789\x13");
    rx(0, "f");
    EXPECT_EQ(out(0), "0123456789\x13") << "one XOFF per stop";
}

// A display that answers every line at length is transmitting whenever a byte arrives: the XOFF
// owed goes out right after the message instead.
TEST_F(Tx, XoffOwedDuringAMessageFollowsIt) {
    std::string fill;
    for (int i = 0; i < 38; i++) fill += "123456789\r";
    txBusy = 1; // a message on the wire while the bytes come
    rx(0, fill + "123456");
    EXPECT_EQ(out(0), "");
    txBusy = 0;
    txString("a reply of some length\r");
    EXPECT_EQ(out(0), "a reply of some length\r\x13");
    EXPECT_EQ(rxStopped, 1);
}

// During a binary transfer the display's own bytes ('>' CR, XON) go out polled: an XOFF that fell
// due meanwhile follows at once, not with the host's next byte, which a host about to pause for
// its own reasons would never send.
TEST_F(Tx, BinaryTransferXoffOwedFollowsItsByte) {
    makeUartBinMain();
    txBusy = 1; // a byte on its way out while the ring fills past 384
    rx(0, std::string(386, 'b'));
    EXPECT_EQ(out(0), "");
    txBusy = 0;
    binTxChar('>');
    EXPECT_EQ(out(0), ">\x13");
    EXPECT_EQ(rxStopped, 1);
    binTxChar('\r');
    EXPECT_EQ(out(0), ">\x13\r") << "one XOFF per stop";
    while (rxHeld() > 128) waitChar();
    binFlowControl();
    EXPECT_EQ(out(0), ">\x13\r\x11");
    restoreUartBinMain();
}

TEST_F(Tx, FormattedOutputIsCutAt126) {
    pout("%s=%d\r", "x", -5);
    EXPECT_EQ(out(0), "x=-5\r");
    clearOut();
    std::string big(300, 'p');
    perr("%s", big.c_str());
    EXPECT_EQ(out(0), std::string(126, 'p'));
    clearOut();
    pout("%s", big.c_str());
    EXPECT_EQ(out(0), std::string(126, 'p'));
}

class Rs485 : public Serial {
  protected:
    void SetUp() override {
        Serial::SetUp();
        eepromData[CFG_RS485_MODE] = CFG_MODE_ON;
        eepromData[CFG_RS485_SOF] = '#';
        eepromData[CFG_RS485_ADDR] = 0x1A;
        Init_485mode();
        clearOut();
        stringSent = 0;
    }
};

TEST_F(Rs485, NoticesWaitForTheNextReply) {
    ASSERT_EQ(mainIsUart0, 0);
    ASSERT_EQ(rxStopped, 1);
    txNotify("x3\r");
    pout("r%d\r", 4);
    EXPECT_EQ(out(1), "");
    EXPECT_TRUE(anythingToTx());

    txString(">\r"); // held notices first, then the reply, each with the prefix
    EXPECT_EQ(out(1), "#FFx3\r#FFr4\r#FF>\r");
    EXPECT_EQ(stringSent, 2);
    EXPECT_FALSE(anythingToTx());

    clearOut();
    txNotify("s1 2\r");
    txSavedBuf();
    EXPECT_EQ(out(1), "#FFs1 2\r");
    txSavedBuf(); // nothing held: nothing sent
    EXPECT_EQ(out(1), "#FFs1 2\r");
    perr("err\r"); // errors go out at once
    EXPECT_EQ(out(1), "#FFs1 2\r#FFerr\r");
}

TEST_F(Rs485, HoldBufferLimits) {
    std::string n60(60, 'n');
    txNotify(n60.c_str()); // 63 held
    txNotify(n60.c_str()); // 126 held
    txNotify("");          // 129 would not fit below 129: dropped
    txNotify("z");         // dropped
    EXPECT_EQ(strlen(txBuf), 126u);
    txSavedBuf();
    EXPECT_EQ(out(1), "#FF" + n60 + "#FF" + n60);

    clearOut();
    std::string long200(200, 'q');
    txString(long200.c_str());
    EXPECT_EQ(out(1), "#FF" + std::string(125, 'q'));
}
