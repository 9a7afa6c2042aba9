#include <gtest/gtest.h>

#include <string>

#include "console_protocol/Frame.h"
#include "console_protocol/Messages.h"
#include "console_protocol/PortSettingsTable.h"
#include "server/core/DateTime.h"
#include "tests/support/FakeConsole.h"

namespace tolvan {
namespace {

class ConsoleReportsTest : public ::testing::Test, public FakeConsole {};

TEST_F(ConsoleReportsTest, DroppedSilentlyWithoutConsoleConnection) {
    // No client: nothing is written to the listener and nothing is logged.
    StartPort(1);
    ConsoleReports& reports = server->Reports();
    reports.SendPortList();
    reports.SendPortSettingsReport(0);
    reports.SendConnectionCount(0);
    reports.SendTraceEvent(0, kTraceSerialEvent, "Framing Error");
    reports.SendVersionReport(kEveryClient);
    EXPECT_TRUE(listener->sent.empty());
    EXPECT_TRUE(sink.entries.empty());
}

TEST_F(ConsoleReportsTest, PortListBeforeAndAfterPortsAreReady) {
    StartPort(1);
    StartPort(3);
    StartPort(4);
    ConnectConsole();
    ctx.PortsReady = false;
    server->Reports().SendPortList();
    ctx.PortsReady = true;
    server->Reports().SendPortList();
    const auto answers = Answers();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].code, "D3");
    EXPECT_EQ(answers[0].payload, "0");
    EXPECT_EQ(answers[1].payload, "3|1|3|4");
}

TEST_F(ConsoleReportsTest, PortSettingsReportCarriesTrimmedFieldsAndMode) {
    const int p = StartPort(2, 1);
    Port(p).Settings = "19200 , e,7,1";
    Port(p).ConnectPassword = "  secret ";
    Port(p).PortDescription = " Scale | bay 3 ";
    Port(p).AllwaysConnected = true;
    ConnectConsole();
    server->Reports().SendPortSettingsReport(p);
    const auto answers = Answers();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].code, "D1");
    EXPECT_EQ(answers[0].payload,
              "0|True|True|1|2|True|True|2048|1024|19200|e,7,1|0|4|600|0|secret||True|"
              "192.0.2.7|6001|Client|Scale | bay 3");
}

TEST_F(ConsoleReportsTest, SettingsOfAMissingPortAreLoggedAndNotSent) {
    StartPort(1);
    ConnectConsole();
    server->Reports().SendPortSettingsReport(7);
    EXPECT_TRUE(console->sent.empty());
    EXPECT_EQ(sink.Count("M1S7 "), 1);
}

TEST_F(ConsoleReportsTest, ConnectionListAndCountCoverSlotsInUse) {
    const int a = StartPort(1);
    const int b = StartPort(2);
    ConnectConsole();
    server->Reports().SendConnectionList(a);
    const auto empty = Answers();
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].payload, "0|0");  // no connection: two fields
    ASSERT_EQ(Connect(b, "127.0.0.1"), 1);
    ASSERT_EQ(Connect(b, "127.0.0.1"), 2);
    Slot(b, 2).Authenticated = 1;
    Sock(b, 2).remoteIP = "192.0.2.9";
    Answers();
    server->Reports().SendConnectionList(b);
    // The count notice names port a but counts the connections of every port.
    server->Reports().SendConnectionCount(a);
    const auto answers = Answers();
    ASSERT_EQ(answers.size(), 2u);
    const std::string time = DateTimeText(clock.NowLocal());
    EXPECT_EQ(answers[0].payload, "1|2|1|0|" + time + "|127.0.0.1|7|2|1|" + time + "|192.0.2.9|7");
    EXPECT_EQ(answers[1].code, "D2");
    EXPECT_EQ(answers[1].payload, "0|2");
}

TEST_F(ConsoleReportsTest, TraceEventsOfEveryKindCarryTheirTextWhole) {
    const int p = StartPort(5);
    ConnectConsole();
    Request("DA", "0|ON|");
    const std::string texts[] = {"a|b\r\n", std::string("\xff\0|", 3), "Framing Error",
                                 "Connection Closed (Index 2)"};
    for (int kind = 0; kind < 4; ++kind) {
        server->Reports().SendTraceEvent(p, kind, texts[kind]);
    }
    const auto answers = Answers();
    ASSERT_EQ(answers.size(), 4u);
    for (int kind = 0; kind < 4; ++kind) {
        EXPECT_EQ(answers[kind].code, "DA");
        const auto fields = console::SplitFields(answers[kind].payload, console::kTraceFieldCount);
        ASSERT_EQ(fields.size(), 4u);
        EXPECT_EQ(fields[0], "0");
        EXPECT_EQ(fields[1], "5");
        EXPECT_EQ(fields[2], std::to_string(kind));
        EXPECT_EQ(fields[3], texts[kind]);
    }
    server->Reports().SendTraceEvent(3, 2, "no such port");
    EXPECT_TRUE(console->sent.empty());
    EXPECT_EQ(sink.Count("M1S11 "), 1);
}

TEST_F(ConsoleReportsTest, FailedSendIsLoggedUnderItsOwnTag) {
    StartPort(1);
    ConnectConsole();
    console->failing.insert("SendData");
    server->Reports().SendPortList();
    EXPECT_EQ(sink.Count("M1S5 "), 1);
}

}  // namespace
}  // namespace tolvan
