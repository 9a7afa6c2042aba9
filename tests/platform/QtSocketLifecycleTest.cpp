#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>

#include "server/platform/QtSocketFactory.h"
#include "tests/platform/SocketTestSupport.h"

namespace tolvan {
namespace {

using test::RecordedSocket;
using test::WaitFor;

class QtSocketLifecycleTest : public ::testing::Test {
protected:
    void SetUp() override { test::App(); }

    // A port nothing listens on: taken from the system, then given back.
    static int FreePort() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }
};

// A second listener on a port in use fails at once with "address in use".
TEST_F(QtSocketLifecycleTest, ListenOnUsedPortFails) {
    QtSocketFactory factory;
    auto first = factory.Create();
    EXPECT_EQ(first->State(), kSocketClosed);
    first->SetLocalPort(0);
    first->Listen();
    const int port = static_cast<QtSocket&>(*first).ListeningPort();

    auto second = factory.Create();
    second->SetLocalPort(port);
    try {
        second->Listen();
        FAIL() << "listened twice on one port";
    } catch (const SocketError& e) {
        EXPECT_EQ(e.Number(), 10048);
    }
    EXPECT_EQ(second->State(), kSocketClosed);
    EXPECT_THROW(first->Listen(), SocketError);  // already listening

    // Once the first listener is closed the port is free again.
    first->Close();
    second->Listen();
    EXPECT_EQ(second->State(), kSocketListening);
}

// A listener bound to 127.0.0.1 takes connections there; bad addresses are refused.
TEST_F(QtSocketLifecycleTest, BoundListenerAcceptsOnItsAddress) {
    RecordedSocket listener;
    const int port = FreePort();
    listener.socket->Bind(port, "127.0.0.1");
    listener.socket->Listen();
    EXPECT_EQ(listener.socket->ListeningPort(), port);

    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    ASSERT_TRUE(WaitFor([&] { return listener.requests.size() == 1; }));

    RecordedSocket other;
    EXPECT_THROW(other.socket->Bind(port, "not-an-address"), SocketError);
    EXPECT_THROW(other.socket->SetProtocol(1), SocketError);
}

// A connect to a port nobody listens on ends in an Error event, never inside the call.
TEST_F(QtSocketLifecycleTest, FailedConnectRaisesError) {
    RecordedSocket client;
    client.Call([](QtSocket& s) { s.Connect("127.0.0.1", FreePort()); });
    ASSERT_TRUE(WaitFor([&] { return client.Count("error") == 1; }));
    EXPECT_FALSE(client.reentered);
    EXPECT_EQ(client.errorNumber, 10061);
    EXPECT_FALSE(client.errorText.empty());
    EXPECT_EQ(client.Count("connect"), 0);
    EXPECT_NE(client.socket->State(), kSocketConnected);
    EXPECT_NE(client.socket->State(), kSocketClosed);

    client.socket->Close();
    EXPECT_EQ(client.socket->State(), kSocketClosed);
    QTest::qWait(50);
    EXPECT_EQ(client.log.size(), 1U);
}

// A request dropped without Accept refuses the peer, and so does closing the listener
// before its requests were delivered.
TEST_F(QtSocketLifecycleTest, UnacceptedRequestsCloseThePeer) {
    RecordedSocket listener;
    listener.socket->SetLocalPort(0);
    listener.socket->Listen();
    const auto port = static_cast<quint16>(listener.socket->ListeningPort());

    QTcpSocket refused;
    bool refusedClosed = false;
    QObject::connect(&refused, &QAbstractSocket::disconnected, [&] { refusedClosed = true; });
    refused.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(WaitFor([&] { return listener.requests.size() == 1; }));
    listener.requests.clear();
    ASSERT_TRUE(WaitFor([&] { return refusedClosed; }));

    // Connections the listener took but has not reported yet go when it closes.
    QTcpSocket pending;
    bool pendingClosed = false;
    QObject::connect(&pending, &QAbstractSocket::disconnected, [&] { pendingClosed = true; });
    pending.connectToHost(QHostAddress::LocalHost, port);
    // Waits without running the event loop: the system has the connection, we have not.
    ASSERT_TRUE(pending.waitForConnected(5000));
    listener.socket->Close();
    ASSERT_TRUE(WaitFor([&] { return pendingClosed; }));
    EXPECT_EQ(listener.Count("request"), 1);
}

// Accept takes a request once; a second Accept of the same request fails.
TEST_F(QtSocketLifecycleTest, RequestIsAcceptedOnce) {
    RecordedSocket listener;
    listener.socket->SetLocalPort(0);
    listener.socket->Listen();
    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost,
                       static_cast<quint16>(listener.socket->ListeningPort()));
    ASSERT_TRUE(WaitFor([&] { return listener.requests.size() == 1; }));

    RecordedSocket first;
    RecordedSocket second;
    first.socket->Accept(listener.requests[0]);
    EXPECT_THROW(second.socket->Accept(listener.requests[0]), SocketError);
    EXPECT_THROW(second.socket->Accept(nullptr), SocketError);
    EXPECT_THROW(first.socket->Accept(listener.requests[0]), SocketError);
    EXPECT_EQ(second.socket->State(), kSocketClosed);

    // The accepted connection outlives the request object and the listener.
    listener.requests.clear();
    listener.socket.reset();
    peer.write("ping");
    ASSERT_TRUE(WaitFor([&] { return first.received == "ping"; }));
}

}  // namespace
}  // namespace tolvan
