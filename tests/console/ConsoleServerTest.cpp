#include <string>

#include "console_protocol/Frame.h"
#include "tests/console/ConsoleFixture.h"

namespace tolvan {
namespace {

using ConsoleServerTest = ConsoleFixture;

TEST_F(ConsoleServerTest, AcceptStopsListeningAndInstallsReports) {
    EXPECT_EQ(ctx.reports, &server->Reports());
    ConnectConsole();
    EXPECT_EQ(console->state, kSocketConnected);
    console->FireConnectionRequest();
    // A later request replaces the connection; the console never listens while connected.
    EXPECT_EQ(console->calls, (std::vector<std::string>{"Close", "Accept"}));
}

TEST_F(ConsoleServerTest, DisconnectSwitchesTracingOffAndListensAgain) {
    AddPort(1);
    AddPort(2);
    ConnectConsole();
    Request("DA", "0|ON|");
    Request("DA", "1|ON|");
    ASSERT_TRUE(Port(0).TraceOn && Port(1).TraceOn);
    console->FirePeerClose();
    EXPECT_FALSE(Port(0).TraceOn);
    EXPECT_FALSE(Port(1).TraceOn);
    EXPECT_EQ(console->state, kSocketListening);
    EXPECT_EQ(console->CountCalls("Bind 5000 127.0.0.1"), 1);
    EXPECT_EQ(console->calls.back(), "Listen");
    EXPECT_TRUE(sink.entries.empty());
}

TEST_F(ConsoleServerTest, SocketErrorIsLoggedAndConsoleListensAgain) {
    AddPort(1);
    ConnectConsole();
    Port(0).TraceOn = true;
    console->FireError(10054, "Connection reset by peer");
    EXPECT_TRUE(sink.Contains("Console Socket Error.... Connection reset by peer"));
    EXPECT_EQ(console->state, kSocketListening);
    EXPECT_FALSE(Port(0).TraceOn);
}

TEST_F(ConsoleServerTest, FailedListenIsLoggedAndTracingStillStops) {
    AddPort(1);
    ConnectConsole();
    Port(0).TraceOn = true;
    console->failing.insert("Listen");
    console->FirePeerClose();
    EXPECT_EQ(sink.Count("M1S1 "), 1);
    EXPECT_FALSE(Port(0).TraceOn);
}

TEST_F(ConsoleServerTest, FailedAcceptListensAgain) {
    console->failing.insert("Accept");
    console->FireConnectionRequest();
    EXPECT_EQ(sink.Count("M1S2 "), 1);
    EXPECT_EQ(console->state, kSocketListening);
}

TEST_F(ConsoleServerTest, NewConnectionDoesNotSeeLeftoversOfTheLastOne) {
    AddPort(1);
    ConnectConsole();
    // Half a frame, then the configurator goes away.
    console->FireDataArrival("D5|1");
    console->FirePeerClose();
    ConnectConsole();
    Request("DB");
    const auto answers = Answers();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].code, "DB");
}

TEST_F(ConsoleServerTest, BadLengthIsLoggedOnceAndSkipped) {
    AddPort(1);
    ConnectConsole();
    console->FireDataArrival("D3|x1|\r\nD3|zz|");
    console->FireDataArrival("\r\n");
    EXPECT_EQ(sink.Count("M1S3 "), 1);
    Request("DB");
    const auto answers = Answers();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].code, "DB");
}

TEST_F(ConsoleServerTest, OversizedLengthIsSkippedNotAwaited) {
    ConnectConsole();
    console->FireDataArrival("D1|99999999|");
    Request("DB");
    EXPECT_EQ(sink.Count("M1S3 "), 1);
    EXPECT_EQ(Answers().size(), 1u);
}

TEST_F(ConsoleServerTest, FailedReadIsLogged) {
    ConnectConsole();
    console->failing.insert("GetData");
    console->FireDataArrival("DB|0|\r\n");
    EXPECT_EQ(sink.Count("F1S2 "), 1);
}

TEST_F(ConsoleServerTest, DestroyedConsoleLeavesNoReportsBehind) {
    ConnectConsole();
    server.reset();
    EXPECT_EQ(ctx.reports, &ctx.noReports);
    console->FireDataArrival("DB|0|\r\n");
    EXPECT_TRUE(console->sent.empty());
}

}  // namespace
}  // namespace tolvan
