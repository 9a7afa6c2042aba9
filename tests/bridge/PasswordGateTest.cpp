#include <gtest/gtest.h>

#include <string>

#include "tests/support/DeBruijn.h"
#include "tests/support/FakeServer.h"

namespace tolvan {
namespace {

using namespace std::string_literals;

const std::string kReprompt = "\r\nInvalid Password....\r\npassword:";
const std::string kAccepted = "\r\nConnected....\r\n";

class PasswordGateTest : public ::testing::Test, public FakeServer {
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

TEST_F(PasswordGateTest, OnlyAWholeLineEqualToThePasswordIsAccepted) {
    Port(p).MaxPasswordAttemps = 0;
    const std::string lines[] = {"MIRELO\r\n", "xyzMirelo\r", "Mirelo!\n", "Mirel\r\n",
                                 "Mire lo\r"};
    for (const std::string& line : lines) {
        Send(line);
        EXPECT_EQ(Client().TakeSent(), kReprompt) << line;
    }
    EXPECT_EQ(Slot(p, c).Authenticated, 0);
    EXPECT_EQ(Port(p).Counters[kCounterInvalidPasswords], 5);
    EXPECT_EQ(reports.Count("DA 0 3 Invalid Password Received (Index 1)"), 5);

    // Empty and blank lines are no attempts; the line end may come in the next chunk.
    Send("\r\n\n \t \r\0  Mire"s);
    Send("lo \r");
    EXPECT_EQ(Client().sent, kAccepted);
    EXPECT_EQ(Port(p).Counters[kCounterInvalidPasswords], 5);
}

TEST_F(PasswordGateTest, LineEndsAndBlanksAroundThePassword) {
    for (const std::string& line :
         {"Mirelo\r\nATZ\r"s, "Mirelo\r\0"s, "Mirelo\n"s, " \tMirelo  \r"s}) {
        const int other = Connect(p);
        Sock(p, other).TakeSent();
        Sock(p, other).FireDataArrival(line);
        EXPECT_EQ(Sock(p, other).sent, kAccepted) << line;
        CloseConnection(ctx, p, other);
    }
    // What follows the password in its chunk was typed before the welcome: not for the line.
    EXPECT_EQ(Device(p).written, "");
    EXPECT_EQ(Port(p).Counters[kCounterInvalidPasswords], 0);
}

// A line longer than 256 characters is one wrong attempt and the rest of it is dropped
// without a further answer, however long it runs.
TEST_F(PasswordGateTest, DeBruijnLineIsOneWrongAttempt) {
    Port(p).ConnectPassword = "4711";
    const std::string line = DeBruijnDigits(4);
    ASSERT_EQ(line.size(), 10003u);
    ASSERT_NE(line.find("4711"), std::string::npos);
    for (std::size_t at = 0; at < line.size(); at += 1000) {
        Send(line.substr(at, 1000));
    }
    EXPECT_EQ(Client().TakeSent(), kReprompt);
    EXPECT_LE(Slot(p, c).PasswordBuffer.size(), 256u);
    Send("\r\n");
    EXPECT_EQ(Client().TakeSent(), "");
    EXPECT_EQ(Port(p).Counters[kCounterInvalidPasswords], 1);
    Send("4711\r\n");
    EXPECT_EQ(Client().sent, kAccepted);
}

// Guessing from one address counts across its connections: reconnecting after every guess
// reaches the lock-out all the same, and then every new connection from there is closed at
// once. Another address logs in meanwhile and the listener keeps listening.
TEST_F(PasswordGateTest, GuessesSpreadOverConnectionsLockOutOnlyTheirAddress) {
    Port(p).BadPasswordShutdownLength = 10;
    CloseConnection(ctx, p, c);
    int answered = 0;
    for (int round = 0; round < 50; ++round) {
        const int guesser = Connect(p, "10.0.0.1");
        if (guesser == 0 || Sock(p, guesser).TakeSent().empty()) {
            continue;  // closed at once, without a prompt
        }
        ++answered;
        Sock(p, guesser).FireDataArrival("guess" + std::to_string(round) + "\r\n");
        if (Slot(p, guesser).InUse) {
            CloseConnection(ctx, p, guesser, CloseReason::ByClient);
        }
    }
    EXPECT_EQ(answered, 4);
    EXPECT_EQ(Port(p).Counters[kCounterInvalidPasswords], 50);  // 4 guesses, 46 refusals
    EXPECT_TRUE(reports.Has("DA 0 3 Invalid Password Received Shutting Down Listener (Index 1)"));
    EXPECT_EQ(Listener(p).state, kSocketListening);
    EXPECT_TRUE(sink.Contains("Serial Port 3: 10.0.0.1 locked out for 10 minutes after 4 invalid"));

    const int user = Connect(p, "10.0.0.2");
    Sock(p, user).FireDataArrival("Mirelo\r");
    EXPECT_EQ(Sock(p, user).sent, "\r\nPassword:" + kAccepted);
    EXPECT_TRUE(sink.Contains("Serial Port 3: login from 10.0.0.2 on connection"));

    // Refusals do not stretch the lock-out; once it is over the address starts afresh.
    clock.AdvanceMinutes(10.1);
    CheckListeners(ctx);
    EXPECT_TRUE(sink.Contains(
        "Serial Port 3: lock-out of 10.0.0.1 ended after 10 minutes (46 connections refused"));
    const int back = Connect(p, "10.0.0.1");
    EXPECT_EQ(Sock(p, back).sent, "\r\nPassword:");
}

TEST_F(PasswordGateTest, LockOutClosesEveryWaitingConnectionOfTheAddress) {
    Port(p).MaxPasswordAttemps = 2;
    const int first = Connect(p, "::ffff:10.0.0.7");
    const int second = Connect(p, "10.0.0.7");
    Sock(p, first).FireDataArrival("a\r");
    Sock(p, second).FireDataArrival("b\r");
    EXPECT_FALSE(Slot(p, first).InUse);
    EXPECT_FALSE(Slot(p, second).InUse);
    EXPECT_TRUE(Slot(p, c).InUse);  // another address
    EXPECT_EQ(sink.Count("ended: lock-out after wrong passwords."), 2);
}

TEST_F(PasswordGateTest, SuccessfulLoginClearsTheAddressCount) {
    for (int round = 0; round < 3; ++round) {
        const int client = Connect(p, "10.0.0.3");
        for (int guess = 0; guess < 3; ++guess) {
            Sock(p, client).FireDataArrival("nope\r");
        }
        Sock(p, client).FireDataArrival("Mirelo\r");
        ASSERT_EQ(Slot(p, client).Authenticated, 1) << round;
        CloseConnection(ctx, p, client, CloseReason::ByClient);
    }
}

TEST_F(PasswordGateTest, AttemptsZeroMeansNoLimitAndOneLocksAtFirstWrongPassword) {
    Port(p).MaxPasswordAttemps = 0;
    for (int i = 0; i < 100; ++i) {
        Send("nope\r\n");
    }
    EXPECT_TRUE(Slot(p, c).InUse);
    EXPECT_EQ(Client().sent.size(), 100 * kReprompt.size());
    EXPECT_EQ(Port(p).Counters[kCounterInvalidPasswords], 100);

    Port(p).MaxPasswordAttemps = 1;
    const int other = Connect(p, "10.0.0.4");
    Sock(p, other).TakeSent();
    Sock(p, other).FireDataArrival("nope\r\n");
    EXPECT_FALSE(Slot(p, other).InUse);
    EXPECT_EQ(Sock(p, other).sent, "");
    EXPECT_EQ(Connect(p, "10.0.0.4"), 0);
}

TEST_F(PasswordGateTest, ShutdownLengthZeroClosesTheConnectionButLocksNothing) {
    Port(p).BadPasswordShutdownLength = 0;
    Port(p).MaxPasswordAttemps = 1;
    const std::string from = Client().remoteIP;
    Send("nope\r\n");
    EXPECT_FALSE(Slot(p, c).InUse);
    EXPECT_EQ(Listener(p).state, kSocketListening);
    EXPECT_TRUE(reports.Has("DA 0 3 Invalid Password Received Shutting Down Listener (Index 1)"));
    const int again = Connect(p, from);
    EXPECT_EQ(Sock(p, again).sent, "\r\nPassword:");
}

// One host may keep at most two connections waiting at the gate, so it cannot fill the slots
// and keep everyone else out until the password time-out.
TEST_F(PasswordGateTest, AnAddressMayKeepTwoConnectionsWaiting) {
    Port(p).Connections.resize(8);
    Port(p).MaxConnections = 7;
    const int first = Connect(p, "10.0.0.5");
    const int second = Connect(p, "10.0.0.5");
    ASSERT_NE(second, 0);
    EXPECT_EQ(Connect(p, "10.0.0.5"), 0);
    EXPECT_EQ(Connect(p, "10.0.0.5"), 0);
    EXPECT_EQ(sink.Count("10.0.0.5 already has 2 connections waiting for a password"), 1);
    EXPECT_EQ(Port(p).Counters[kCounterInvalidPasswords], 2);
    EXPECT_EQ(Sock(p, Connect(p, "10.0.0.6")).sent, "\r\nPassword:");

    Sock(p, first).FireDataArrival("Mirelo\r");
    EXPECT_NE(Connect(p, "10.0.0.5"), 0);
    EXPECT_EQ(Connect(p, "10.0.0.5"), 0);
    EXPECT_EQ(sink.Count("10.0.0.5 already has 2 connections waiting for a password"), 2);
}

// Every failure, login and end is an information event naming port and client; failures
// beyond ten a minute from one address are summed up in one event.
TEST_F(PasswordGateTest, EventsNameThePortAndTheClient) {
    Port(p).MaxPasswordAttemps = 0;
    for (int i = 0; i < 25; ++i) {
        Send("nope\r");
    }
    EXPECT_EQ(sink.Count("Serial Port 3: invalid password from 192.0.2.1 on connection 1"), 10);
    EXPECT_TRUE(sink.Contains("(failure 10, no limit)."));
    clock.AdvanceSeconds(61);
    CheckListeners(ctx);
    EXPECT_TRUE(sink.Contains(
        "Serial Port 3: 15 more invalid passwords from 192.0.2.1 within a minute, not logged"));
    Send("nope\r");
    EXPECT_EQ(sink.Count("Serial Port 3: invalid password from 192.0.2.1 on connection 1"), 11);
    for (const auto& entry : sink.entries) {
        EXPECT_EQ(entry.type, kEventInformation) << entry.text;
    }

    Send("Mirelo\r");
    EXPECT_TRUE(sink.Contains("Serial Port 3: login from 192.0.2.1 on connection 1."));
    Client().FirePeerClose();
    EXPECT_TRUE(
        sink.Contains("Serial Port 3: connection 1 from 192.0.2.1 ended: closed by the client."));

    ctx.settings.IdleTimeCheckInterval = 1;
    const int silent = Connect(p);
    clock.AdvanceSeconds(31);
    OnTimerTick(ctx);
    EXPECT_FALSE(Slot(p, silent).InUse);
    EXPECT_TRUE(sink.Contains("Serial Port 3: connection " + std::to_string(silent) +
                              " from 192.0.2.2 ended: session time-out"));
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
    Device(p).queued = 64UL * 1024;
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

class OpenPortTest : public ::testing::Test, public FakeServer {};

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
