#include <gtest/gtest.h>

#include <string>

#include "server/bridge/Connections.h"
#include "tests/support/FakeServer.h"

namespace tolvan {
namespace {

class ConnectionsTest : public ::testing::Test, public FakeServer {};

TEST_F(ConnectionsTest, SocketIndexDecodesToPortAndConnection) {
    // Index 37 is connection 5 of port 2; 32 is that port's listener.
    EXPECT_EQ(PortIndexOf(37), 2);
    EXPECT_EQ(ConnNoOf(37), 5);
    EXPECT_EQ(SocketIndex(2, 5), 37);
    EXPECT_EQ(ConnNoOf(32), 0);
}

TEST_F(ConnectionsTest, ListenerClosesWhenLastSlotTakenAndReopensWhenOneFrees) {
    // MaxConnections 3: the third accept closes the listener, a fourth client is refused,
    // and a disconnect makes it listen again at once.
    StartPort(1);
    StartPort(3);
    const int p = 1;
    EXPECT_EQ(Connect(p), 1);
    EXPECT_EQ(Connect(p), 2);
    EXPECT_EQ(Listener(p).state, kSocketListening);
    EXPECT_EQ(Connect(p), 3);
    EXPECT_EQ(Listener(p).state, kSocketClosed);
    EXPECT_EQ(Connect(p), 0);  // a request arriving before the close took effect is refused
    EXPECT_EQ(Listener(p).accepts, 0);

    Sock(p, 2).FirePeerClose();
    EXPECT_FALSE(Slot(p, 2).InUse);
    EXPECT_EQ(Listener(p).state, kSocketListening);
    EXPECT_EQ(Connect(p), 2);
    EXPECT_EQ(Listener(p).state, kSocketClosed);
}

TEST_F(ConnectionsTest, NewConnectionStartsWithCleanSlot) {
    const int p = StartPort(1);
    Slot(p, 1).PasswordBuffer = "leftover";
    Slot(p, 1).BadPasswordCount = 3;
    Slot(p, 1).Telnet.Phase = 1;
    clock.AdvanceMinutes(1);
    ASSERT_EQ(Connect(p), 1);
    EXPECT_TRUE(Slot(p, 1).PasswordBuffer.empty());
    EXPECT_EQ(Slot(p, 1).BadPasswordCount, 0);
    EXPECT_EQ(Slot(p, 1).Telnet.Phase, 0);
    EXPECT_EQ(Slot(p, 1).ConnectTime, clock.NowLocal());
    EXPECT_EQ(Slot(p, 1).KeepAliveExpires, clock.NowUtc() + Seconds(900));
    EXPECT_EQ(Sock(p, 1).sent, "\r\nPassword:");
    EXPECT_TRUE(reports.Has("D2 0"));
}

TEST_F(ConnectionsTest, FailedSocketCreationFreesTheSlot) {
    const int p = StartPort(1, 0, 1);
    sockets.failCreates = 1;
    EXPECT_EQ(Connect(p), 0);
    EXPECT_FALSE(Slot(p, 1).InUse);
    EXPECT_TRUE(sink.Contains("M2S7 out of memory"));
    EXPECT_EQ(Listener(p).state, kSocketListening);  // left alone
    EXPECT_EQ(Connect(p), 1);
}

// Locking out addresses one by one does not touch the listener until more than eight are
// locked out at once (an attack spread over many hosts); then it is shut until the first of
// those lock-outs ends, and another connection ending does not reopen it early.
TEST_F(ConnectionsTest, ManyAddressesLockedOutAtOnceShutTheListener) {
    const int p = StartPort(1);
    Port(p).BadPasswordShutdownLength = 10;
    Port(p).MaxPasswordAttemps = 1;
    const int good = Login(p);
    for (int host = 1; host <= 9; ++host) {
        EXPECT_EQ(Listener(p).state, kSocketListening) << host;
        const int bad = Connect(p, "10.0.1." + std::to_string(host));
        Sock(p, bad).FireDataArrival("wrong\r\n");
        EXPECT_FALSE(Slot(p, bad).InUse);
        clock.AdvanceMinutes(1);
    }
    EXPECT_EQ(Listener(p).state, kSocketClosed);
    EXPECT_TRUE(
        sink.Contains("Serial Port 1: 9 addresses are locked out at once; the listener "
                      "is shut for 2 minutes"));

    Sock(p, good).FirePeerClose();
    EXPECT_EQ(Listener(p).state, kSocketClosed);

    clock.AdvanceMinutes(0.9);  // 9.9 minutes after the first lock-out
    CheckListeners(ctx);
    EXPECT_EQ(Listener(p).state, kSocketClosed);

    clock.AdvanceMinutes(0.2);
    CheckListeners(ctx);
    EXPECT_EQ(Listener(p).state, kSocketListening);
    EXPECT_EQ(Port(p).ListenerShutdownTime, kZeroDate);
    EXPECT_TRUE(sink.Contains("lock-out of 10.0.1.1 ended after 10 minutes"));
    EXPECT_FALSE(sink.Contains("lock-out of 10.0.1.2 ended"));
    // The other eight stay locked out.
    EXPECT_EQ(Connect(p, "10.0.1.2"), 0);
    EXPECT_NE(Connect(p, "10.0.1.1"), 0);
}

// A single-connection port closes its listener at the first accept; the check reopens it.
TEST_F(ConnectionsTest, CheckListenersReopensListenerClosedForFullSlots) {
    const int p = StartPort(4, 0, 1);
    EXPECT_EQ(Connect(p), 1);
    ASSERT_EQ(Listener(p).state, kSocketClosed);
    CheckListeners(ctx);
    EXPECT_EQ(Listener(p).state, kSocketListening);
    EXPECT_EQ(Listener(p).localPort, 5004);
    EXPECT_EQ(Connect(p), 0);
    EXPECT_EQ(Listener(p).state, kSocketClosed);
}

TEST_F(ConnectionsTest, CheckListenersGoesOnAfterOnePortFails) {
    const int first = StartPort(1, 0, 1);
    const int second = StartPort(2, 0, 1);
    Connect(first);
    Connect(second);
    Listener(first).failing.insert("Listen");
    CheckListeners(ctx);
    EXPECT_TRUE(sink.Contains("M2S19 D1=0 Listen failed"));
    EXPECT_EQ(Listener(second).state, kSocketListening);
}

TEST_F(ConnectionsTest, ClientPortNeverGetsListener) {
    const int p = StartPort(1, 1);
    CheckListeners(ctx);
    CloseConnection(ctx, p, 1);
    EXPECT_FALSE(HasSock(p, 0));
}

TEST_F(ConnectionsTest, SendingToVanishedPeerDropsTextAndFreesSlot) {
    const int p = StartPort(1);
    Port(p).ConnectPassword.clear();
    const int c = Connect(p);
    Sock(p, c).TakeSent();
    reports.calls.clear();
    Sock(p, c).state = kSocketClosing;
    EXPECT_FALSE(SendToConnection(ctx, SocketIndex(p, c), "data"));
    EXPECT_EQ(Sock(p, c).sent, "");
    EXPECT_FALSE(Slot(p, c).InUse);
    EXPECT_EQ(reports.calls, std::vector<std::string>{"D2 0"});
}

// Slow clients are judged by progress. A reader that falls over the soft limit and catches up
// within StallSeconds keeps every byte; one that stays over it is closed by the timer even when
// the line has gone quiet; one that reaches the hard limit goes at once. Such a close drops
// the backlog, names its limit, and the others go on.
TEST_F(ConnectionsTest, SlowClientsAreJudgedByProgress) {
    ctx.settings.StallSeconds = 10;
    ctx.settings.Output = {100, 1000, 1000000};
    const int p = StartPort(7, 0, 4);
    Port(p).ConnectPassword.clear();
    const int reader = Connect(p);
    const int stalled = Connect(p);
    const int flooded = Connect(p);
    Sock(p, reader).bytesQueued = 500;
    Sock(p, stalled).bytesQueued = 500;
    Device(p).Receive("burst");
    clock.AdvanceSeconds(9);
    Sock(p, reader).bytesQueued = 50;
    OnTimerTick(ctx);
    Sock(p, reader).bytesQueued = 500;  // behind again: its time starts afresh
    Sock(p, flooded).bytesQueued = 1000;
    Device(p).Receive("more");
    EXPECT_FALSE(Slot(p, flooded).InUse);
    EXPECT_TRUE(Slot(p, stalled).InUse);

    clock.AdvanceSeconds(1);
    OnTimerTick(ctx);
    EXPECT_FALSE(Slot(p, stalled).InUse);
    EXPECT_TRUE(Slot(p, reader).InUse);
    EXPECT_EQ(Sock(p, stalled).aborts, 1);
    EXPECT_EQ(Sock(p, flooded).aborts, 1);
    EXPECT_TRUE(sink.Contains("M2S13 Connection 2 of Serial Port 7 is not reading"));
    EXPECT_TRUE(sink.Contains("connection 2 from 192.0.2.2 ended: stalled"));
    EXPECT_TRUE(sink.Contains("connection 3 from 192.0.2.3 ended: unread output reached the hard"));
    Device(p).Receive("!");
    EXPECT_EQ(Sock(p, reader).sent, "Connected....\r\nburstmore!");
}

// All queues together over the total budget, across ports: the largest goes first, then the
// next, until the rest fit.
TEST_F(ConnectionsTest, TotalBudgetClosesTheLargestQueuesFirst) {
    ctx.settings.Output = {1000, 10000, 900};
    const int a = StartPort(1);
    const int b = StartPort(2);
    Port(a).ConnectPassword.clear();
    Port(b).ConnectPassword.clear();
    const int a1 = Connect(a);
    const int a2 = Connect(a);
    const int b1 = Connect(b);
    const int b2 = Connect(b);
    Sock(a, a1).bytesQueued = 400;
    Sock(a, a2).bytesQueued = 500;
    Sock(b, b1).bytesQueued = 600;
    Sock(b, b2).bytesQueued = 100;
    Device(a).Receive("x");
    EXPECT_TRUE(Slot(a, a1).InUse);
    EXPECT_FALSE(Slot(a, a2).InUse);
    EXPECT_FALSE(Slot(b, b1).InUse);
    EXPECT_TRUE(Slot(b, b2).InUse);
    EXPECT_EQ(sink.Count("ended: largest unread output when the server's total budget"), 2);
}

TEST_F(ConnectionsTest, PeerCloseIsTracedWhenTraceOn) {
    const int p = StartPort(1);
    StartPort(2);
    ctx.ports[0].TraceOn = false;
    Port(1).TraceOn = true;
    Connect(1);
    Connect(1);
    Sock(1, 2).FirePeerClose();
    EXPECT_TRUE(reports.Has("DA 1 3 Connection Closed (Index 2)"));
    Connect(p);
    Sock(p, 1).FirePeerClose();
    EXPECT_TRUE(reports.Starting("DA 0").empty());
}

TEST_F(ConnectionsTest, SocketErrorLogsAndClosesDataConnectionOnly) {
    const int p = StartPort(3);
    const int c = Connect(p);
    Sock(p, c).FireError(10054, "connection reset");
    EXPECT_TRUE(sink.Contains("Socket Error Com 3.... connection reset"));
    EXPECT_FALSE(Slot(p, c).InUse);

    Listener(p).FireError(10048, "address in use");
    EXPECT_EQ(Listener(p).closes, 0);
}

TEST_F(ConnectionsTest, ListenerIgnoresDataAndConnectionsIgnoreRequests) {
    const int p = StartPort(1);
    const int c = Connect(p);
    Listener(p).FireDataArrival("x");
    EXPECT_EQ(Listener(p).input, "x");  // never read
    Sock(p, c).FireConnectionRequest();
    EXPECT_EQ(Sock(p, c).accepts, 1);
}

}  // namespace
}  // namespace tolvan
