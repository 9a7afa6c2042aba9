#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console_protocol/Frame.h"
#include "tests/support/FakeConsole.h"

namespace tolvan {
namespace {

class ConsoleServerTest : public ::testing::Test, public FakeConsole {};
using CodeList = std::vector<std::string>;

// Clients come and go while the listener stays bound: it is never closed, bound again or
// made to stop listening, and the console's reports are the context's.
TEST_F(ConsoleServerTest, ListenerStaysBoundWhileClientsComeAndGo) {
    EXPECT_EQ(ctx.reports, &server->Reports());
    FakeSocket* a = ConnectConsole();
    FakeSocket* b = ConnectConsole();
    ASSERT_EQ(a->state, kSocketConnected);
    ASSERT_EQ(b->state, kSocketConnected);
    a->FirePeerClose();
    b->FireError(10054, "Connection reset by peer");
    ConnectConsole();
    EXPECT_EQ(listener->listens, 1);
    EXPECT_EQ(listener->closes, 0);
    EXPECT_EQ(listener->state, kSocketListening);
    EXPECT_EQ(sink.Count("Console Socket Error.... Connection reset by peer"), 1);
    EXPECT_EQ(server->Clients().Count(), 1);
}

// Four clients are served; a fifth gets one "DE|full" report, is closed and logged, and what
// it sent is never read. Once a client has gone the next one is served again.
TEST_F(ConsoleServerTest, FifthConnectionIsToldTheConsoleIsFull) {
    std::vector<FakeSocket*> served;
    served.reserve(ConsoleClients::kMaxClients);
    for (int i = 0; i < ConsoleClients::kMaxClients; ++i) {
        served.push_back(ConnectConsole());
    }
    FakeSocket* fifth = ConnectConsole();
    EXPECT_EQ(fifth->state, kSocketClosed);
    const auto told = Answers(fifth);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].code, "DE");
    EXPECT_TRUE(told[0].payload.starts_with("full|")) << told[0].payload;
    fifth->FireDataArrival(console::FrameMessage("DB", "") + "\r\n");
    EXPECT_FALSE(fifth->input.empty());  // never read
    EXPECT_EQ(sink.Count("M1S2 console connection refused: all 4"), 1);
    EXPECT_EQ(listener->state, kSocketListening);

    served[2]->FirePeerClose();
    FakeSocket* next = ConnectConsole();
    EXPECT_EQ(next->state, kSocketConnected);
    Request(next, "DB");
    EXPECT_EQ(Codes(Answers(next)), CodeList{"DB"});
}

// An answer goes to the client that asked; an update, and the bridge's own notices, go to
// every client.
TEST_F(ConsoleServerTest, AnswersGoToTheAskerNoticesToEveryone) {
    const int p = StartPort(1);
    FakeSocket* a = ConnectConsole();
    FakeSocket* b = ConnectConsole();
    Request(a, "DB");
    Request(a, "D3");
    Request(b, "DC", "0");
    EXPECT_EQ(Codes(Answers(a)), (CodeList{"DB", "D3", "D2"}));
    EXPECT_EQ(Codes(Answers(b)), CodeList{"DC"});

    Request(a, "D1",
            "0|TRUE|TRUE|2|1|TRUE|TRUE|2048|1024|9600|n,8,1|0|4|600|0|Mirelo||FALSE||0|Server|"
            "bay 3");
    EXPECT_EQ(Codes(Answers(a)), (CodeList{"D1", "D5"}));
    EXPECT_EQ(Codes(Answers(b)), (CodeList{"D1", "D5"}));

    ASSERT_EQ(Connect(p, "127.0.0.1"), 1);
    Answers(a);
    Answers(b);
    Request(b, "D6", "0|1");
    EXPECT_EQ(Codes(Answers(a)), CodeList{"D2"});
    EXPECT_EQ(Codes(Answers(b)), CodeList{"D2"});
}

// Each client traces its own ports: trace events go to the clients tracing the port (to all
// while nobody does), a client's switch does not stop another's trace, and a client that
// leaves stops only its own.
TEST_F(ConsoleServerTest, TraceSubscriptionsAreEachClientsOwn) {
    StartPort(1);
    StartPort(2);
    StartPort(3);
    FakeSocket* a = ConnectConsole();
    FakeSocket* b = ConnectConsole();
    Request(a, "DA", "0|ON|");
    Request(b, "DA", "0|ON|");
    Request(b, "DA", "1|ON|");
    Request(a, "DA", "1|OFF|");
    EXPECT_TRUE(Port(0).TraceOn && Port(1).TraceOn);

    server->Reports().SendTraceEvent(0, kTraceSerialEvent, "Framing Error");
    server->Reports().SendTraceEvent(1, kTraceSerialEvent, "Parity Error");
    server->Reports().SendTraceEvent(2, kTraceSerialEvent, "Client Connect->Connecting");
    EXPECT_EQ(Codes(Answers(a)), (CodeList{"DA", "DA"}));
    EXPECT_EQ(Codes(Answers(b)), (CodeList{"DA", "DA", "DA"}));

    Request(b, "DA", "0|OFF|");
    EXPECT_TRUE(Port(0).TraceOn);
    b->FireError(10054, "Connection reset by peer");
    EXPECT_FALSE(Port(1).TraceOn);
    EXPECT_TRUE(Port(0).TraceOn);
    a->FirePeerClose();
    EXPECT_FALSE(Port(0).TraceOn);
}

// Every client has its own receive buffer: half a frame of one does not hold up or run into
// another's, and what a client left unfinished dies with it.
TEST_F(ConsoleServerTest, EachClientHasItsOwnReceiveBuffer) {
    StartPort(1);
    FakeSocket* a = ConnectConsole();
    FakeSocket* b = ConnectConsole();
    a->FireDataArrival("D5|1");
    Request(b, "DB");
    EXPECT_EQ(Codes(Answers(b)), CodeList{"DB"});
    a->FireDataArrival("|0\r\n");
    EXPECT_EQ(Codes(Answers(a)), CodeList{"D5"});

    b->FireDataArrival("D7|1");
    b->FirePeerClose();
    FakeSocket* c = ConnectConsole();
    c->FireDataArrival("DB|0|\r\n");
    EXPECT_EQ(Codes(Answers(c)), CodeList{"DB"});
}

TEST_F(ConsoleServerTest, BadLengthIsLoggedOnceAndSkipped) {
    ConnectConsole();
    console->FireDataArrival("D3|x1|\r\nD3|zz|");
    console->FireDataArrival("\r\n");
    console->FireDataArrival("D1|99999999|");
    EXPECT_EQ(sink.Count("M1S3 "), 1);
    Request("DB");
    EXPECT_EQ(Codes(Answers()), CodeList{"DB"});
}

TEST_F(ConsoleServerTest, FailedReadIsLogged) {
    ConnectConsole();
    console->failing.insert("GetData");
    console->FireDataArrival("DB|0|\r\n");
    EXPECT_EQ(sink.Count("F1S2 "), 1);
}

// A client that leaves its reports unread is dropped before it can fill the server's memory.
TEST_F(ConsoleServerTest, StalledReaderIsDropped) {
    StartPort(1);
    FakeSocket* a = ConnectConsole();
    FakeSocket* b = ConnectConsole();
    Request(a, "DA", "0|ON|");
    a->bytesQueued = ConsoleClients::kMaxBytesQueued + 1;
    server->Reports().SendConnectionCount(0);
    EXPECT_EQ(a->state, kSocketClosed);
    EXPECT_FALSE(Port(0).TraceOn);
    EXPECT_EQ(sink.Count("is not reading"), 1);
    Request(b, "DB");
    EXPECT_EQ(Codes(Answers(b)), (CodeList{"D2", "DB"}));
}

// A listener whose bind failed is bound again every 5 seconds; failing retries add no events
// to the one logged when it first failed, and success is told once.
TEST_F(ConsoleServerTest, FailedBindIsRetriedEveryFiveSeconds) {
    listener->Close();
    listener->failing.insert("Listen");
    const int binds = listener->binds;
    server->OnTimerTick();
    clock.AdvanceSeconds(4);
    server->OnTimerTick();
    EXPECT_EQ(listener->binds, binds);
    for (int attempt = 1; attempt <= 3; ++attempt) {
        clock.AdvanceSeconds(ConsoleServer::kBindRetrySeconds);
        server->OnTimerTick();
        EXPECT_EQ(listener->binds, binds + attempt);
    }
    EXPECT_TRUE(sink.entries.empty());
    listener->failing.clear();
    clock.AdvanceSeconds(ConsoleServer::kBindRetrySeconds);
    server->OnTimerTick();
    server->OnTimerTick();
    EXPECT_EQ(listener->state, kSocketListening);
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_EQ(sink.entries[0].text, "Console listening on 127.0.0.1:5000");
}

TEST_F(ConsoleServerTest, DestroyedConsoleLeavesNoReportsOrHandlersBehind) {
    ConnectConsole();
    server.reset();
    EXPECT_EQ(ctx.reports, &ctx.noReports);
    const std::size_t made = sockets.made.size();
    listener->FireConnectionRequest();
    EXPECT_EQ(sockets.made.size(), made);
}

}  // namespace
}  // namespace tolvan
