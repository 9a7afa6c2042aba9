#include <gtest/gtest.h>

#include <string>

#include "server/bridge/SupervisionTimer.h"
#include "tests/support/FakeServer.h"

namespace tolvan {
namespace {

const std::string kKeepAlive = "\xFF\xF1";
const std::string kTimeout = "\r\nSession Timeout........\r\n";

class SupervisionTimerTest : public ::testing::Test, public FakeServer {
protected:
    SupervisionTimerTest() {
        ctx.settings.IdleTimeCheckInterval = 1;
        ctx.settings.ListeningPortCheckInterval = 1;
        ctx.settings.ConstantConnectClientCheckInterval = 30;
    }
    // Moves the clock on and ticks.
    void TickAfter(double seconds) {
        clock.AdvanceSeconds(seconds);
        OnTimerTick(ctx);
    }
};

TEST_F(SupervisionTimerTest, NothingRunsBeforePortsAreReady) {
    const int p = StartPort(1);
    Port(p).ConnectPassword = "";
    const int c = Connect(p);
    Sock(p, c).TakeSent();
    ctx.PortsReady = false;
    TickAfter(3600);
    EXPECT_EQ(Sock(p, c).sent, "");
    EXPECT_EQ(ctx.timer.NextIdleCheck, kZeroDate);
}

// Without an idle limit keep-alives go on for hours; a keep-alive time of zero sends none.
TEST_F(SupervisionTimerTest, NoIdleLimitStillSendsKeepAlives) {
    const int p = StartPort(1);
    const int none = StartPort(2);
    Port(p).MaxIdleTime = 0;
    Port(p).KeepAliveTimeout = 60;
    Port(none).KeepAliveTimeout = 0;
    const int c = Login(p);
    const int quiet = Login(none);
    TickAfter(59);
    EXPECT_EQ(Sock(p, c).sent, "");
    TickAfter(2);
    EXPECT_EQ(Sock(p, c).TakeSent(), kKeepAlive);
    TickAfter(3 * 3600);
    EXPECT_EQ(Sock(p, c).sent, kKeepAlive);
    EXPECT_TRUE(Slot(p, c).InUse);
    EXPECT_EQ(Sock(none, quiet).sent, "");
}

TEST_F(SupervisionTimerTest, SerialDataPostponesKeepAlive) {
    const int p = StartPort(1);
    const int c = Login(p);
    TickAfter(600);
    Device(p).Receive("x");
    TickAfter(400);  // 1000 s after login, 400 s after the data
    EXPECT_EQ(Sock(p, c).TakeSent(), "x");
    TickAfter(501);
    EXPECT_EQ(Sock(p, c).sent, kKeepAlive);
}

TEST_F(SupervisionTimerTest, IdleConnectionGetsNoticeAndIsClosed) {
    const int p = StartPort(1);
    Port(p).MaxIdleTime = 2;
    const int c = Login(p);
    TickAfter(100);
    EXPECT_TRUE(Slot(p, c).InUse);
    Sock(p, c).FireDataArrival("typing");
    TickAfter(100);
    EXPECT_TRUE(Slot(p, c).InUse);
    TickAfter(21);
    EXPECT_EQ(Sock(p, c).sent, kTimeout);
    EXPECT_FALSE(Slot(p, c).InUse);
    EXPECT_EQ(Port(p).Counters[kCounterTimerEnded], 1);
}

TEST_F(SupervisionTimerTest, UnauthenticatedConnectionHasThirtySeconds) {
    const int p = StartPort(1);
    const int c = Connect(p);
    Sock(p, c).TakeSent();
    TickAfter(29);
    EXPECT_TRUE(Slot(p, c).InUse);
    TickAfter(2);
    EXPECT_EQ(Sock(p, c).sent, kTimeout);
    EXPECT_FALSE(Slot(p, c).InUse);
    EXPECT_EQ(Port(p).Counters[kCounterTimerEnded], 1);
}

TEST_F(SupervisionTimerTest, ChecksRunOnlyAfterTheirInterval) {
    ctx.settings.IdleTimeCheckInterval = 60;
    const int p = StartPort(1);
    OnTimerTick(ctx);
    EXPECT_EQ(ctx.timer.NextIdleCheck, clock.NowUtc() + Seconds(60));
    const int c = Connect(p);
    Sock(p, c).TakeSent();
    TickAfter(45);
    EXPECT_TRUE(Slot(p, c).InUse);  // 45 s unauthenticated, but no check ran
    TickAfter(16);
    EXPECT_FALSE(Slot(p, c).InUse);
}

TEST_F(SupervisionTimerTest, AlwaysConnectedClientIsRetriedWithTrace) {
    const int p = StartPort(4, 1);
    Port(p).AllwaysConnected = true;
    OnTimerTick(ctx);
    EXPECT_EQ(reports.Count("DA 0 2 Client Always Connect->Connecting"), 1);
    EXPECT_EQ(Sock(p, 1).connects, 1);
    Sock(p, 1).FireError(10061, "connection refused");
    TickAfter(10);
    EXPECT_EQ(Sock(p, 1).connects, 1);
    TickAfter(21);
    EXPECT_EQ(reports.Count("DA 0 2 Client Always Connect->Connecting"), 2);
    EXPECT_EQ(Sock(p, 1).connects, 2);
}

TEST_F(SupervisionTimerTest, ClientKeepAliveOnlyForLiveConnection) {
    const int p = StartPort(4, 1);
    Port(p).KeepAliveTimeout = 60;
    TickAfter(120);
    EXPECT_TRUE(reports.calls.empty());  // a free slot is not closed over and over
    Device(p).Receive("x");
    Sock(p, 1).FireConnect();
    Sock(p, 1).FireDataArrival("Connected....");
    TickAfter(61);
    EXPECT_EQ(Sock(p, 1).sent, "x" + kKeepAlive);
}

TEST_F(SupervisionTimerTest, VanishedDeviceDisablesPortAndTellsConsole) {
    const int p = StartPort(6);
    OnTimerTick(ctx);
    reports.calls.clear();
    Device(p).vanished = true;
    TickAfter(2);
    EXPECT_TRUE(sink.Contains("F1S3.1 Appears Serial Port 6 has been removed."));
    EXPECT_FALSE(Port(p).Enabled);
    EXPECT_EQ(Listener(p).state, kSocketClosed);
    EXPECT_FALSE(Device(p).open);
    ASSERT_GE(reports.calls.size(), 3u);
    const std::vector<std::string> last(reports.calls.end() - 3, reports.calls.end());
    EXPECT_EQ(last, (std::vector<std::string>{"D1 0", "D5 0", "D2 0"}));
}

TEST_F(SupervisionTimerTest, ErrorMidCheckLeavesItsNextTimeForRetry) {
    StartPort(1);
    const int client = StartPort(2, 1);
    ctx.sckMain.Destroy(SocketIndex(client, 1));
    OnTimerTick(ctx);
    EXPECT_EQ(ctx.timer.NextIdleCheck, kZeroDate);
    ASSERT_EQ(sink.Count("F1S3 Trap="), 1);
    EXPECT_TRUE(sink.Contains(" D1=1 D2=1  Control array element '17' doesn't exist"));
    TickAfter(1);
    EXPECT_EQ(sink.Count("F1S3 Trap="), 2);
}

}  // namespace
}  // namespace tolvan
