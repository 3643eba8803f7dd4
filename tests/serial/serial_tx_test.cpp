// Transmit side: replies, the host's XOFF, RS485 notices, formatted output, raw bytes, the aux port.
#include <string.h>

#include "serial/rs485.h"
#include "tests/serial/serial_fixture.h"

using Tx = Serial;

TEST_F(Tx, RepliesAreCutAt128) {
    txString(">\r");
    EXPECT_EQ(fb::out(0), ">\r");
    EXPECT_EQ(stringSent, 1);
    EXPECT_EQ(txBusy, 0);
    EXPECT_FALSE(fb::txIrqOn(0));
    EXPECT_FALSE(anythingToTx());

    fb::clearOut();
    std::string msg;
    for (int i = 0; i < 200; i++) msg += (char)('a' + i % 26);
    txString(msg.c_str());
    EXPECT_EQ(fb::out(0), msg.substr(0, 128));
    EXPECT_EQ(fb::out(1), "") << "nothing on the aux port";

    fb::clearOut();
    txString("");
    EXPECT_EQ(fb::out(0), "");
    EXPECT_EQ(stringSent, 3);
}

TEST_F(Tx, HostXoffDelaysAtMost100ms) {
    fb::rx(0, "\x13");
    ASSERT_EQ(xoff, 1);
    txString("late\r");
    EXPECT_EQ(fb::out(0), "late\r");
    EXPECT_EQ(fb::now(), 100u);
    EXPECT_EQ(xoff, 0) << "the next message goes at once";
    txString("now\r");
    EXPECT_EQ(fb::now(), 100u);

    // XON after 32 ms: the message leaves at the next 5 ms step.
    fb::rx(0, "\x13");
    fb::rxAt(132, 0, "\x11");
    fb::clearOut();
    txString("ok\r");
    EXPECT_EQ(fb::out(0), "ok\r");
    EXPECT_EQ(fb::now(), 135u);

    // Single bytes do not wait.
    fb::rx(0, "\x13");
    txChar('!');
    EXPECT_EQ(fb::now(), 135u);
    EXPECT_EQ(fb::out(0), "ok\r!");
}

TEST_F(Tx, Uart1MainDrivesTheTransmitEnable) {
    makeUart1Main();
    txString("abc\r");
    EXPECT_EQ(fb::out(1), "abc\r");
    EXPECT_EQ(fb::out(0), "");
    for (auto &b : fb::wire(1)) EXPECT_TRUE(b.txen);
    EXPECT_FALSE(fb::txen()) << "released once the last bit has left";
    EXPECT_FALSE(fb::txIrqOn(1));

    fb::clearOut();
    txChar(0x11);
    uint8_t raw[3] = {1, 0, 2};
    txBinary(raw, 3);
    EXPECT_EQ(fb::out(1), std::string("\x11\x01\x00\x02", 4));
    for (auto &b : fb::wire(1)) EXPECT_TRUE(b.txen);
    EXPECT_FALSE(fb::txen());

    // UART0 as aux: no transmit enable.
    fb::clearOut();
    aTxString("aux");
    EXPECT_EQ(fb::out(0), "aux");
    for (auto &b : fb::wire(0)) EXPECT_FALSE(b.txen);
    EXPECT_EQ(aTxBusy, 0);
}

TEST_F(Tx, AuxPort) {
    aTxString("to aux\r");
    EXPECT_EQ(fb::out(1), "to aux\r");
    for (auto &b : fb::wire(1)) EXPECT_TRUE(b.txen) << "UART1 as aux is the RS485 port too";
    EXPECT_FALSE(fb::txen());
    EXPECT_EQ(stringSent, 0) << "aux output is no main-port transmission";

    fb::clearOut();
    uint8_t raw[129];
    for (int i = 0; i < 129; i++) raw[i] = (uint8_t)i;
    aTxBinary(raw, 129);
    EXPECT_EQ(fb::out(1), std::string((char *)raw, 129));
    fb::clearOut();
    aTxBinary(raw, 130);
    EXPECT_EQ(fb::out(1), "");
    EXPECT_EQ(fb::out(0), ":internal error aTxBinary()\r");
}

TEST_F(Tx, BinaryBytes) {
    uint8_t raw[130];
    for (int i = 0; i < 130; i++) raw[i] = (uint8_t)(255 - i);
    txBinary(raw, 129);
    EXPECT_EQ(fb::out(0), std::string((char *)raw, 129));
    fb::clearOut();
    txBinary(raw, 130);
    EXPECT_EQ(fb::out(0), ":internal error txBinary()\r");
}

TEST_F(Tx, NoXoffBetweenBinaryBytes) {
    std::string fill;
    for (int i = 0; i < 38; i++) fill += "123456789\r";
    fb::rx(0, fill + "1234"); // 384 held
    fb::setTrickle(true);
    fb::rx(0, "abcd"); // 'a' now, the others one per board call while the bytes go out
    uint8_t raw[10] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    txBinary(raw, 10);
    EXPECT_EQ(fb::rxQueued(0), 0u);
    // The XOFF owed meanwhile follows the last byte.
    EXPECT_EQ(fb::out(0), "0123456789\x13");
    fb::rx(0, "e");
    EXPECT_EQ(fb::out(0), "0123456789\x13") << "one XOFF per stop";
}

// A display that answers every line at length is transmitting whenever a byte arrives: the XOFF
// owed goes out right after the message instead.
TEST_F(Tx, XoffOwedDuringAMessageFollowsIt) {
    std::string fill;
    for (int i = 0; i < 38; i++) fill += "123456789\r";
    txBusy = 1; // a message on the wire while the bytes come
    fb::rx(0, fill + "123456");
    EXPECT_EQ(fb::out(0), "");
    txBusy = 0;
    txString("a reply of some length\r");
    EXPECT_EQ(fb::out(0), "a reply of some length\r\x13");
    EXPECT_EQ(rxStopped, 1);
}

TEST_F(Tx, FormattedOutputIsCutAt126) {
    pout("%s=%d\r", "x", -5);
    EXPECT_EQ(fb::out(0), "x=-5\r");
    fb::clearOut();
    std::string big(300, 'p');
    perr("%s", big.c_str());
    EXPECT_EQ(fb::out(0), std::string(126, 'p'));
    fb::clearOut();
    pout("%s", big.c_str());
    EXPECT_EQ(fb::out(0), std::string(126, 'p'));
}

class Rs485 : public Serial {
  protected:
    void SetUp() override {
        Serial::SetUp();
        eepromData[CFG_RS485_MODE] = CFG_MODE_ON;
        eepromData[CFG_RS485_SOF] = '#';
        eepromData[CFG_RS485_ADDR] = 0x1A;
        Init_485mode();
        fb::clearOut();
        stringSent = 0;
    }
};

TEST_F(Rs485, NoticesWaitForTheNextReply) {
    ASSERT_EQ(mainIsUart0, 0);
    ASSERT_EQ(rxStopped, 1);
    txNotify("x3\r");
    pout("r%d\r", 4);
    EXPECT_EQ(fb::out(1), "");
    EXPECT_TRUE(anythingToTx());

    txString(">\r"); // held notices first, then the reply, each with the prefix
    EXPECT_EQ(fb::out(1), "#FFx3\r#FFr4\r#FF>\r");
    EXPECT_EQ(stringSent, 2);
    EXPECT_FALSE(anythingToTx());

    fb::clearOut();
    txNotify("s1 2\r");
    txSavedBuf();
    EXPECT_EQ(fb::out(1), "#FFs1 2\r");
    txSavedBuf(); // nothing held: nothing sent
    EXPECT_EQ(fb::out(1), "#FFs1 2\r");
    perr("err\r"); // errors go out at once
    EXPECT_EQ(fb::out(1), "#FFs1 2\r#FFerr\r");
}

TEST_F(Rs485, HoldBufferLimits) {
    std::string n60(60, 'n');
    txNotify(n60.c_str()); // 63 held
    txNotify(n60.c_str()); // 126 held
    txNotify("");          // 129 would not fit below 129: dropped
    txNotify("z");         // dropped
    EXPECT_EQ(strlen(txBuf), 126u);
    txSavedBuf();
    EXPECT_EQ(fb::out(1), "#FF" + n60 + "#FF" + n60);

    fb::clearOut();
    std::string long200(200, 'q');
    txString(long200.c_str());
    EXPECT_EQ(fb::out(1), "#FF" + std::string(125, 'q'));
}
