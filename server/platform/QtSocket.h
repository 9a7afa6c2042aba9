#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "server/bridge/Socket.h"
#include "server/platform/DeviceEvents.h"

class QTcpServer;
class QTcpSocket;

namespace tolvan {

// A TCP socket on Qt that is in turn a listener, an outgoing or accepted connection, or closed.
//
// Data arrival is delivered in the same pass of the event loop as the socket's readiness, so
// a byte crosses without waiting for another pass; every other event is posted, as is data
// that arrives inside a call of ours or inside a handler. Events of an earlier listener or
// connection are dropped once the socket is closed or reused. A handler may destroy the
// socket. Listening without Bind takes every local address, IPv4 and IPv6. Close() lets data
// already handed to SendData go out before the connection ends; Abort() drops it.
class QtSocket : public Socket {
public:
    QtSocket();
    ~QtSocket() override;
    QtSocket(const QtSocket&) = delete;
    QtSocket& operator=(const QtSocket&) = delete;

    int State() const override { return state_; }
    void SetLocalPort(int port) override;
    void SetProtocol(int protocol) override;
    std::string RemoteHostIP() const override;
    void Bind(int port, const std::string& address) override;
    void Listen() override;
    void Accept(const RequestId& request) override;
    void Connect(const std::string& host, int port) override;
    void SendData(std::string_view data) override;
    std::string GetData() override;
    void Close() override;
    void Abort() override;
    std::size_t BytesQueued() const override;
    PeerOwner LookUpPeer() const override;

    // The port a listener listens on (useful after listening on port 0).
    int ListeningPort() const;

private:
    void Adopt(QTcpSocket* socket);
    std::string PeerText() const;
    void OnNewConnection();
    void OnReadyRead();
    void PostDataArrival();
    void Shut(bool keepOutput);
    void OnDisconnected();
    void OnSocketError();
    void OnConnected();
    void ReleaseSocket(bool keepOutput);
    void ReleaseServer();

    int state_ = kSocketClosed;
    int localPort_ = 0;
    std::optional<std::string> bindAddress_;
    std::string remoteHostIp_;  // kept after the peer is gone, for the connection list
    bool dataArrivalPosted_ = false;
    bool deliveringData_ = false;
    std::unique_ptr<QTcpServer> server_;
    std::unique_ptr<QTcpSocket> socket_;
    DeviceEvents events_;
};

}  // namespace tolvan
