#include <gtest/gtest.h>

#include <QTcpSocket>

#include "tests/platform/SocketTestSupport.h"

namespace tolvan {
namespace {

using test::RecordedSocket;
using test::WaitFor;

std::string AllBytes() {
    std::string bytes;
    for (int c = 0; c < 256; ++c) {
        bytes.push_back(static_cast<char>(c));
    }
    return bytes + bytes;
}

// A listener on every address of a free port, a client connected to it over 127.0.0.1,
// and the server side accepted on a third socket.
class QtSocketConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::App();
        listener_.socket->SetLocalPort(0);
        listener_.socket->SetProtocol(0);
        listener_.Call([](QtSocket& s) { s.Listen(); });
        ASSERT_EQ(listener_.socket->State(), kSocketListening);
        port_ = listener_.socket->ListeningPort();
        ASSERT_GT(port_, 0);
        ConnectPair(client_, server_);
    }

    void ConnectPair(RecordedSocket& client, RecordedSocket& server) {
        const std::size_t before = listener_.requests.size();
        client.Call([this](QtSocket& s) { s.Connect("127.0.0.1", port_); });
        EXPECT_EQ(client.socket->State(), kSocketConnecting);
        ASSERT_TRUE(WaitFor([&] {
            return client.Count("connect") == 1 && listener_.requests.size() == before + 1;
        }));
        server.Call([this](QtSocket& s) { s.Accept(listener_.requests.back()); });
        listener_.requests.pop_back();
        ASSERT_EQ(server.socket->State(), kSocketConnected);
        ASSERT_EQ(client.socket->State(), kSocketConnected);
    }

    void TearDown() override {
        EXPECT_FALSE(listener_.reentered || client_.reentered || server_.reentered)
            << "an event ran inside a call";
    }

    RecordedSocket listener_;
    RecordedSocket client_;
    RecordedSocket server_;
    int port_ = 0;
};

// Bytes of every value travel both ways unchanged; peers show as dotted IPv4.
TEST_F(QtSocketConnectionTest, DataTravelsBothWays) {
    EXPECT_EQ(server_.socket->RemoteHostIP(), "127.0.0.1");
    EXPECT_EQ(client_.socket->RemoteHostIP(), "127.0.0.1");

    const std::string bytes = AllBytes();
    client_.Call([&](QtSocket& s) { s.SendData(bytes); });
    ASSERT_TRUE(WaitFor([&] { return server_.received.size() >= bytes.size(); }));
    EXPECT_EQ(server_.received, bytes);

    server_.Call([&](QtSocket& s) { s.SendData(bytes); });
    server_.Call([&](QtSocket& s) { s.SendData("tail"); });
    ASSERT_TRUE(WaitFor([&] { return client_.received.size() >= bytes.size() + 4; }));
    EXPECT_EQ(client_.received, bytes + "tail");

    // The listener keeps listening after an accept; another connection's data stays its own.
    RecordedSocket secondClient;
    RecordedSocket secondServer;
    ConnectPair(secondClient, secondServer);
    secondClient.socket->SendData("2");
    ASSERT_TRUE(WaitFor([&] { return secondServer.received == "2"; }));
    EXPECT_EQ(server_.received, bytes);
}

// DataArrival reports waiting bytes and GetData returns all of them at once.
TEST_F(QtSocketConnectionTest, GetDataReturnsEverythingWaiting) {
    server_.readOnArrival = false;
    client_.socket->SendData("abc");
    ASSERT_TRUE(WaitFor([&] { return server_.Count("data") >= 1; }));
    client_.socket->SendData("def");
    QTest::qWait(50);
    EXPECT_EQ(server_.socket->GetData(), "abcdef");
    EXPECT_EQ(server_.socket->GetData(), "");
}

// The peer's close is the Close event, after the data it sent; our own Close raises nothing.
TEST_F(QtSocketConnectionTest, PeerCloseIsReportedAfterItsData) {
    client_.socket->SendData("last words");
    client_.Call([](QtSocket& s) { s.Close(); });
    EXPECT_EQ(client_.socket->State(), kSocketClosed);
    ASSERT_TRUE(WaitFor([&] { return server_.Count("close") == 1; }));
    EXPECT_EQ(server_.received, "last words");
    EXPECT_EQ(server_.log.back(), "close");
    EXPECT_EQ(server_.socket->State(), kSocketClosing);
    EXPECT_EQ(server_.socket->RemoteHostIP(), "127.0.0.1");
    EXPECT_EQ(client_.Count("close"), 0);
    EXPECT_THROW(client_.socket->SendData("x"), SocketError);

    server_.socket->Close();
    EXPECT_EQ(server_.socket->State(), kSocketClosed);
    server_.socket->Close();  // closing a closed socket is harmless
}

// Data handed over just before Close still reaches the peer in full.
TEST_F(QtSocketConnectionTest, CloseSendsWhatWasQueued) {
    std::string big(4UL * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>(i % 251);
    }
    server_.socket->SendData(big);
    server_.socket->Close();
    ASSERT_TRUE(WaitFor([&] { return client_.Count("close") == 1; }, std::chrono::seconds(30)));
    EXPECT_TRUE(client_.received == big) << "got " << client_.received.size() << " bytes";
}

// A handler may close or destroy its own socket; nothing of the old connection follows.
TEST_F(QtSocketConnectionTest, HandlersMayCloseOrDestroyTheirSocket) {
    server_.socket->events.DataArrival = [&](std::size_t) {
        server_.Note("data");
        server_.socket->Close();
    };
    client_.socket->SendData("one");
    ASSERT_TRUE(WaitFor([&] { return server_.Count("data") == 1; }));
    client_.socket->SendData("two");
    client_.socket->Close();
    QTest::qWait(100);
    EXPECT_EQ(server_.log, std::vector<std::string>{"data"});

    RecordedSocket client;
    RecordedSocket server;
    ConnectPair(client, server);
    bool destroyed = false;
    server.socket->events.DataArrival = [&](std::size_t) {
        destroyed = true;
        server.socket.reset();
    };
    client.socket->SendData("x");
    ASSERT_TRUE(WaitFor([&] { return destroyed; }));
    ASSERT_TRUE(WaitFor([&] { return client.Count("close") == 1; }));
}

// Data that arrived before Close is not reported after the socket is reused.
TEST_F(QtSocketConnectionTest, ReuseDropsEventsOfTheOldConnection) {
    client_.socket->SendData("stale");
    QTest::qWait(50);  // the bytes are waiting; their event is pending or delivered
    server_.log.clear();
    server_.received.clear();
    server_.socket->Close();

    RecordedSocket freshClient;
    const std::size_t before = listener_.requests.size();
    freshClient.socket->Connect("127.0.0.1", port_);
    ASSERT_TRUE(WaitFor([&] { return listener_.requests.size() == before + 1; }));
    server_.socket->Accept(listener_.requests.back());
    freshClient.socket->SendData("fresh");
    ASSERT_TRUE(WaitFor([&] { return server_.received == "fresh"; }));
    EXPECT_EQ(server_.Count("close"), 0);
}

}  // namespace
}  // namespace tolvan
