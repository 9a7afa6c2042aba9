#include <gtest/gtest.h>

#include <string>

#include "console_protocol/Frame.h"
#include "console_protocol/Messages.h"
#include "console_protocol/PortSettingsTable.h"
#include "server/core/DateTime.h"
#include "tests/support/FakeConsole.h"

namespace tolvan {
namespace {

class ConsoleRequestsTest : public ::testing::Test, public FakeConsole {
protected:
    ConsoleRequestsTest() {
        StartPort(1);
        StartPort(3);
        ConnectConsole();
    }
};

TEST_F(ConsoleRequestsTest, PortListIsFollowedByConnectionCount) {
    ASSERT_EQ(Connect(1, "127.0.0.1"), 1);
    Answers();
    Request("D3");
    const auto answers = Answers();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].code, "D3");
    EXPECT_EQ(answers[0].payload, "2|1|3");
    EXPECT_EQ(answers[1].code, "D2");
    EXPECT_EQ(answers[1].payload, "-2|1");
}

TEST_F(ConsoleRequestsTest, SettingsRequestNeedsExactlyOneField) {
    Request("D2", "1");
    Request("D2", "1|0");
    Request("D2");
    const auto answers = Answers();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].code, "D1");
    const auto fields = console::SplitFields(answers[0].payload, console::kSettingsFieldCount);
    ASSERT_EQ(fields.size(), 22u);
    EXPECT_EQ(fields[0], "1");
    EXPECT_EQ(fields[4], "3");
    EXPECT_EQ(fields[20], "Server");
}

TEST_F(ConsoleRequestsTest, PortFieldsAreRoundedHalfToEven) {
    // 0.5 rounds to 0 and 1.5 to 2 (no such port): one answer, one logged error.
    Request("D5", "0.5");
    Request("D5", "1.5");
    const auto answers = Answers();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].payload, "0|0");
    EXPECT_EQ(sink.Count("M1S4 "), 1);
}

TEST_F(ConsoleRequestsTest, RequestsForMissingPortsAreLoggedAndNotAnswered) {
    Request("D5", "2");
    Request("D7", "-1");
    Request("D8", "x");
    Request("D6", "9|1");
    Request("DA", "5|ON|");
    Request("D7", "40000");
    EXPECT_TRUE(Answers().empty());
    EXPECT_EQ(sink.Count("M1S4 "), 6);
}

// A disconnect closes one data connection and can never reach the listener.
TEST_F(ConsoleRequestsTest, DisconnectClosesOneDataConnectionNeverTheListener) {
    ASSERT_EQ(Connect(1, "127.0.0.1"), 1);
    ASSERT_EQ(Connect(1, "127.0.0.1"), 2);
    Answers();
    for (const char* wrong : {"1|0", "1|4", "1|-1", "1"}) {
        Request("D6", wrong);
    }
    EXPECT_EQ(Listener(1).state, kSocketListening);
    EXPECT_EQ(Listener(1).closes, 0);
    EXPECT_EQ(sink.Count("M1S4 "), 4);
    Request("D6", "1|2");
    EXPECT_TRUE(Slot(1, 1).InUse);
    EXPECT_FALSE(Slot(1, 2).InUse);
    EXPECT_EQ(Sock(1, 2).state, kSocketClosed);
    // Only the connection count notice of the close itself; the requests have no reply.
    const auto answers = Answers();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].payload, "1|1");
}

TEST_F(ConsoleRequestsTest, StatisticsAndReset) {
    Port(1).Counters = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    Port(1).CountersResetTime = clock.NowLocal() - 2;
    Request("D7", "1");
    clock.AdvanceMinutes(5);
    Request("D8", "1");
    const auto answers = Answers();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].code, "D7");
    EXPECT_EQ(answers[0].payload,
              "1|" + DateTimeText(clock.NowLocal() - Minutes(5) - 2) + "|1|2|3|4|5|6|7|8|9|10");
    EXPECT_EQ(answers[1].payload, "1|" + DateTimeText(clock.NowLocal()) + "|0|0|0|0|0|0|0|0|0|0");
    EXPECT_EQ(Port(1).CountersResetTime, clock.NowLocal());
}

TEST_F(ConsoleRequestsTest, TraceSwitchNeedsExactUpperCaseOn) {
    Request("DA", "1|ON|");
    EXPECT_TRUE(Port(1).TraceOn);
    Request("DA", "1|on|");
    EXPECT_FALSE(Port(1).TraceOn);
    // A port that is not a number counts as port 0.
    Request("DA", "abc|ON|");
    EXPECT_TRUE(Port(0).TraceOn);
    Request("DA", "0|OFF|");
    EXPECT_FALSE(Port(0).TraceOn);
    EXPECT_TRUE(Answers().empty());
    EXPECT_TRUE(sink.entries.empty());
}

// The port state report tells how each port is doing, for one port or for all of them.
TEST_F(ConsoleRequestsTest, PortStateTellsHowEachPortIsDoing) {
    const int client = StartPort(4, 1);
    const int off = StartPort(5);
    Port(off).Enabled = false;
    ApplyPortSettings(ctx, off);
    serials.ports.busy.insert(3);
    ApplyPortSettings(ctx, 1);
    // Bad passwords shut COM1's listener ten minutes ago, for 600 minutes.
    Port(0).ListenerShutdownTime = clock.NowUtc() - Minutes(10);
    Listener(0).Close();
    Answers();
    Request("DC");
    const auto all = Answers();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].payload, "0|locked-out|2024-06-01 22:50:00|/dev/ttyT1");
    EXPECT_EQ(all[1].payload, "1|failed||could not open the serial device: COM3 is busy");
    EXPECT_EQ(all[2].payload, "2|connecting||192.0.2.7:6001");
    EXPECT_EQ(all[3].payload, "3|disabled||/dev/ttyT5");

    Slot(client, 1).InUse = true;
    Sock(client, 1).state = kSocketConnected;
    Listener(0).Listen();
    Request("DC", "2");
    Request("DC", "0");
    Request("DC", "7");
    const auto some = Answers();
    ASSERT_EQ(some.size(), 2u);
    EXPECT_EQ(some[0].payload, "2|connected||192.0.2.7:6001");
    EXPECT_EQ(some[1].payload, "0|listening||/dev/ttyT1");
    EXPECT_EQ(sink.Count("M1S4 "), 1);
}

TEST_F(ConsoleRequestsTest, VersionAndUnknownCodes) {
    Request("DB");
    Request("D9", "1");
    Request("d3");
    const auto answers = Answers();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].code, "DB");
    EXPECT_EQ(answers[0].payload, "1.0.7|Release Date Mar 18, 2005");
}

TEST_F(ConsoleRequestsTest, FramesSplitAndJoinedAreDispatchedInOrder) {
    const std::string both =
        console::FrameMessage("DB", "") + "\r\n" + console::FrameMessage("D5", "0") + "\r\n";
    console->FireDataArrival(both.substr(0, 9));
    console->FireDataArrival(both.substr(9));
    const auto answers = Answers();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].code, "DB");
    EXPECT_EQ(answers[1].code, "D5");
}

}  // namespace
}  // namespace tolvan
