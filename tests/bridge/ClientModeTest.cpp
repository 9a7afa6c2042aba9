#include <gtest/gtest.h>

#include <string>

#include "server/bridge/ClientMode.h"
#include "tests/support/FakeServer.h"

namespace tolvan {
namespace {

class ClientModeTest : public ::testing::Test, public FakeServer {
protected:
    void SetUp() override { p = StartPort(2, 1); }
    FakeSocket& Client() { return Sock(p, 1); }
    // The far end accepts the connect and sends its prompt.
    void FarEndConnects() {
        Client().FireConnect();
        Client().FireDataArrival("\r\nPassword:");
    }

    int p = 0;
};

TEST_F(ClientModeTest, SerialDataWaitsForLoginThenGoesOutInOrder) {
    EXPECT_EQ(ClientPhaseOf(ctx, p), ClientPhase::Closed);
    ASSERT_FALSE(Port(p).TraceOn);
    Device(p).Receive("AB");
    EXPECT_EQ(ClientPhaseOf(ctx, p), ClientPhase::Connecting);
    EXPECT_TRUE(reports.Has("DA 0 2 Client Connect->Connecting"));  // traced though off
    EXPECT_EQ(Port(p).PendingData, "AB");
    EXPECT_EQ(Client().connectedTo, "192.0.2.7:6001");
    EXPECT_TRUE(Slot(p, 1).InUse);
    Device(p).Receive("CD");
    EXPECT_EQ(Port(p).PendingData, "ABCD");

    FarEndConnects();
    EXPECT_EQ(ClientPhaseOf(ctx, p), ClientPhase::LoggingIn);
    EXPECT_EQ(Client().TakeSent(), "Mirelo\r\n");
    Client().FireDataArrival("\r\nConnected....\r\n");
    EXPECT_EQ(ClientPhaseOf(ctx, p), ClientPhase::Connected);
    EXPECT_EQ(Client().sent, "ABCD");
    EXPECT_EQ(Port(p).PendingData, "");
    EXPECT_EQ(Slot(p, 1).Authenticated, 1);
    EXPECT_EQ(Device(p).written, "");
    EXPECT_TRUE(reports.Has("DA 0 3 Client Connection established for serial Port 2."));

    Client().FireDataArrival("reply");
    EXPECT_EQ(Device(p).written, "reply");
    Client().FirePeerClose();
    EXPECT_EQ(ClientPhaseOf(ctx, p), ClientPhase::Closed);
}

TEST_F(ClientModeTest, PendingDataKeepsNewestInBufferSizeCharacters) {
    Port(p).InBufferSize = 4;
    Device(p).Receive("ABC");
    Device(p).Receive("DEF");
    EXPECT_EQ(Port(p).PendingData, "CDEF");
}

// A reprompt in one chunk sends the password again; the confirmation is compared in lower
// case.
TEST_F(ClientModeTest, RepromptInOneChunkSendsPasswordAgain) {
    Device(p).Receive("data");
    FarEndConnects();
    Client().TakeSent();
    Client().FireDataArrival("\r\nInvalid Password....\r\npassword:");
    EXPECT_EQ(Client().TakeSent(), "Mirelo\r\n");
    EXPECT_TRUE(Slot(p, 1).InUse);
    Client().FireDataArrival("CONNECTED");
    EXPECT_EQ(Slot(p, 1).Authenticated, 1);
    EXPECT_EQ(Client().sent, "data");
}

TEST_F(ClientModeTest, RejectionWithoutPromptEndsConnection) {
    Device(p).Receive("x");
    FarEndConnects();
    Client().FireDataArrival("Invalid Password....");
    const std::string text =
        "Received Invalid Password.... on Client Connection for Serial Port 2.";
    EXPECT_TRUE(reports.Has("DA 0 3 " + text));
    EXPECT_TRUE(sink.Contains(text));
    EXPECT_FALSE(Slot(p, 1).InUse);
}

TEST_F(ClientModeTest, ReconnectWhileConnectedClosesOldConnectionFirst) {
    Device(p).Receive("x");
    FarEndConnects();
    Client().FireDataArrival("Connected....");
    ASSERT_EQ(Slot(p, 1).Authenticated, 1);
    reports.calls.clear();
    const int connects = Client().connects;
    ConnectClient(ctx, p);
    EXPECT_EQ(reports.calls,
              (std::vector<std::string>{"DA 0 2 Client Connect->Client Not Closed...Closing",
                                        "D2 0", "DA 0 2 Client Connect->Connecting"}));
    EXPECT_EQ(Client().closes, 1);
    EXPECT_EQ(Client().connects, connects + 1);
    EXPECT_EQ(Client().state, kSocketConnecting);
    EXPECT_TRUE(Slot(p, 1).InUse);
    EXPECT_EQ(Slot(p, 1).Authenticated, 0);
}

TEST_F(ClientModeTest, ConnectArmsDeadlinesFromNow) {
    Port(p).MaxIdleTime = 5;
    Port(p).KeepAliveTimeout = 60;
    clock.AdvanceMinutes(30);
    Device(p).Receive("x");
    EXPECT_EQ(Slot(p, 1).IdleExpires, clock.NowUtc() + Minutes(5));
    EXPECT_EQ(Slot(p, 1).KeepAliveExpires, clock.NowUtc() + Seconds(60));
}

TEST_F(ClientModeTest, ConnectFailureReachesCaller) {
    Client().failing.insert("Connect");
    Device(p).Receive("x");
    EXPECT_TRUE(sink.Contains("M2S12 Connect failed"));
    EXPECT_FALSE(Slot(p, 1).InUse);
}

TEST_F(ClientModeTest, FailedConnectFreesSlotAndNextDataRetries) {
    Device(p).Receive("x");
    Client().FireError(10061, "connection refused");
    EXPECT_TRUE(sink.Contains("Socket Error Com 2.... connection refused"));
    EXPECT_FALSE(Slot(p, 1).InUse);
    Device(p).Receive("y");
    EXPECT_EQ(Port(p).PendingData, "y");
    EXPECT_EQ(Client().connects, 2);
}

TEST_F(ClientModeTest, IdlePortWithoutAlwaysConnectedNeverConnects) {
    for (int i = 0; i < 5; ++i) {
        clock.AdvanceSeconds(61);
        OnTimerTick(ctx);
    }
    EXPECT_EQ(Client().connects, 0);
}

}  // namespace
}  // namespace tolvan
