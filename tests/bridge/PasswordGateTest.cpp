#include <string>

#include "tests/bridge/BridgeFixture.h"

namespace tolvan {
namespace {

const std::string kReprompt = "\r\nInvalid Password....\r\npassword:";
const std::string kAccepted = "\r\nConnected....\r\n";

class PasswordGateTest : public BridgeFixture {
protected:
    void SetUp() override {
        p = StartPort(3);
        Port(p).TraceOn = true;
        c = Connect(p);
        ASSERT_EQ(Sock(p, c).TakeSent(), "\r\nPassword:");
    }
    FakeSocket& Client() { return Sock(p, c); }
    void Send(const std::string& text) { Client().FireDataArrival(text); }

    int p = 0;
    int c = 0;
};

TEST_F(PasswordGateTest, PasswordWithCrLfIsAccepted) {
    Send("Mirelo\r\n");
    EXPECT_EQ(Client().sent, kAccepted);
    EXPECT_EQ(Slot(p, c).Authenticated, 1);
    EXPECT_EQ(Port(p).Counters[kCounterConnections], 1);
    EXPECT_TRUE(reports.Has("DA 0 3 Data Connection Established (Index 1)"));
    EXPECT_TRUE(Device(p).written.empty());
}

TEST_F(PasswordGateTest, GarbageBeforePasswordIsAccepted) {
    Send("xyzMirelo\r");
    EXPECT_EQ(Client().sent, kAccepted);
}

TEST_F(PasswordGateTest, OtherLetterCaseIsRefused) {
    Send("MIRELO\r\n");
    EXPECT_EQ(Client().sent, kReprompt);
    EXPECT_EQ(Slot(p, c).Authenticated, 0);
    EXPECT_EQ(Port(p).Counters[kCounterInvalidPasswords], 1);
    EXPECT_TRUE(reports.Has("DA 0 3 Invalid Password Received (Index 1)"));
}

TEST_F(PasswordGateTest, OneCharacterPerChunkWaitsForCarriageReturn) {
    for (char ch : std::string("Mirelo")) {
        Send(std::string(1, ch));
        EXPECT_EQ(Client().sent, "");
    }
    Send("\r");
    EXPECT_EQ(Client().sent, kAccepted);
}

TEST_F(PasswordGateTest, BufferKeepsPasswordLengthPlusFiveWithoutCarriageReturn) {
    Send("0123456789abcdefghij");
    EXPECT_EQ(Slot(p, c).PasswordBuffer, "9abcdefghij");  // 6 + 5 characters
    Send("Mire");
    Send("lo\r");
    EXPECT_EQ(Client().sent, kAccepted);
}

TEST_F(PasswordGateTest, FourthWrongPasswordClosesAndShutsListener) {
    Port(p).BadPasswordShutdownLength = 10;
    for (int i = 0; i < 3; ++i) {
        Send("nope\r\n");
        EXPECT_EQ(Client().TakeSent(), kReprompt);
    }
    Send("nope\r\n");
    EXPECT_EQ(Client().sent, "");
    EXPECT_FALSE(Slot(p, c).InUse);
    EXPECT_EQ(Slot(p, c).BadPasswordCount, 0);
    EXPECT_EQ(Port(p).Counters[kCounterInvalidPasswords], 4);
    EXPECT_EQ(Port(p).ListenerShutdownTime, clock.NowUtc());
    EXPECT_EQ(Listener(p).state, kSocketClosed);
    EXPECT_TRUE(reports.Has("DA 0 3 Invalid Password Received Shutting Down Listener (Index 1)"));
}

TEST_F(PasswordGateTest, AttemptsZeroOrOneLockOutAtFirstWrongPassword) {
    for (int attempts : {0, 1}) {
        Port(p).MaxPasswordAttemps = static_cast<int16_t>(attempts);
        Port(p).ListenerShutdownTime = kZeroDate;
        ApplyPortSettings(ctx, p);
        c = Connect(p);
        ASSERT_NE(c, 0);
        Client().TakeSent();
        Send("nope\r\n");
        EXPECT_FALSE(Slot(p, c).InUse) << attempts;
        EXPECT_EQ(Client().sent, "") << attempts;
        EXPECT_EQ(Listener(p).state, kSocketClosed) << attempts;
    }
}

TEST_F(PasswordGateTest, ShutdownLengthZeroKeepsListening) {
    Port(p).BadPasswordShutdownLength = 0;
    Port(p).MaxPasswordAttemps = 1;
    Send("nope\r\n");
    EXPECT_FALSE(Slot(p, c).InUse);
    EXPECT_EQ(Listener(p).state, kSocketListening);
    EXPECT_TRUE(reports.Has("DA 0 3 Invalid Password Received Shutting Down Listener (Index 1)"));
}

TEST_F(PasswordGateTest, AuthenticatedDataGoesToSerialLine) {
    Send("Mirelo\r");
    Port(p).LogToFile = false;
    Send("ATZ\r");
    EXPECT_EQ(Device(p).written, "ATZ\r");
    EXPECT_EQ(Port(p).Counters[kCounterToSerial], 4);
    EXPECT_TRUE(reports.Has("DA 0 0 ATZ\r"));
}

// A line that cannot keep up leaves connection data in the socket (TCP then slows the sender)
// instead of dropping it; the transmit-queue-empty notification picks it up again.
TEST_F(PasswordGateTest, DataWaitsWhileTheLineIsBehindAndGoesOnWhenItCatchesUp) {
    Send("Mirelo\r");
    Port(p).LogToFile = false;
    Device(p).queued = 64 * 1024;
    Send("held");
    EXPECT_EQ(Device(p).written, "");
    EXPECT_EQ(Sock(p, c).input, "held");
    Device(p).queued = 0;
    Device(p).Fire(kCommEvSend);
    EXPECT_EQ(Device(p).written, "held");
    EXPECT_EQ(Sock(p, c).input, "");
    EXPECT_EQ(Port(p).Counters[kCounterToSerial], 4);
}

TEST_F(PasswordGateTest, ConnectionAcceptedWithoutInputKeepsIdleTimerButNeverWrites) {
    Port(p).AcceptInput = false;
    Port(p).MaxIdleTime = 5;
    const int other = Connect(p);
    Sock(p, other).FireDataArrival("Mirelo\r");
    clock.AdvanceMinutes(2);
    Sock(p, other).FireDataArrival("data");
    EXPECT_EQ(Device(p).written, "");
    EXPECT_EQ(Slot(p, other).IdleExpires, clock.NowUtc() + Minutes(5));
    Device(p).Receive("to all");
    EXPECT_EQ(Sock(p, other).sent.substr(Sock(p, other).sent.size() - 6), "to all");
}

TEST_F(PasswordGateTest, DataWhileWaitingForPasswordNeverReachesLineNorGetsSerialData) {
    Device(p).Receive("serial");
    EXPECT_EQ(Client().sent, "");
    Send("hello");
    EXPECT_EQ(Device(p).written, "");
}

TEST_F(PasswordGateTest, VanishedDeviceAtLoginDisablesPort) {
    Device(p).vanished = true;
    Send("Mirelo\r");
    EXPECT_TRUE(sink.Contains("M2S11.1 Appears Serial Port 3 has been removed."));
    EXPECT_FALSE(Port(p).Enabled);
    EXPECT_FALSE(Slot(p, c).InUse);
    EXPECT_FALSE(reports.Has("DA 0 3 Data Connection Established (Index 1)"));
}

TEST_F(PasswordGateTest, WriteFailure8021DisablesPort) {
    Send("Mirelo\r");
    Device(p).vanished = true;
    Send("data");
    EXPECT_TRUE(sink.Contains("M2S11 Appears Serial Port 3 has been removed."));
    EXPECT_FALSE(Port(p).Enabled);
    const auto tail = reports.calls.size();
    ASSERT_GE(tail, 3u);
    EXPECT_EQ(reports.calls[tail - 3], "D1 0");
    EXPECT_EQ(reports.calls[tail - 2], "D5 0");
    EXPECT_EQ(reports.calls[tail - 1], "D2 0");
}

using OpenPortTest = BridgeFixture;

TEST_F(OpenPortTest, PortWithoutPasswordAdmitsAtOnce) {
    const int p = StartPort(1);
    Port(p).ConnectPassword.clear();
    const int c = Connect(p);
    EXPECT_EQ(Sock(p, c).sent, "Connected....\r\n");
    EXPECT_EQ(Slot(p, c).Authenticated, 1);
    EXPECT_EQ(Port(p).Counters[kCounterConnections], 1);
}

TEST_F(OpenPortTest, VanishedDeviceAtOpenLoginDisablesPort) {
    const int p = StartPort(1);
    Port(p).ConnectPassword.clear();
    Device(p).vanished = true;
    Connect(p);
    EXPECT_TRUE(sink.Contains("M2S10.1 Appears Serial Port 1 has been removed."));
    EXPECT_FALSE(Port(p).Enabled);
}

}  // namespace
}  // namespace tolvan
