#include "server/platform/QtSocket.h"

#include <sys/socket.h>

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <utility>

#include "server/platform/PeerUser.h"
#include "server/platform/PendingConnection.h"
#include "server/platform/SocketErrorCodes.h"

namespace tolvan {

namespace {

constexpr int kMaxPendingConnections = 256;
constexpr int kLingerMs = 30000;
constexpr int kResumeAcceptingMs = 1000;
constexpr qint64 kReadBufferSize =
    32LL * 1024;  // how long a closed connection may take to send its rest

const char* const kWrongState =
    "Wrong protocol or connection state for the requested transaction or request";

std::string ToStd(const QString& text) {
    return text.toStdString();
}

}  // namespace

QtSocket::QtSocket() = default;

QtSocket::~QtSocket() {
    events_.NextGeneration();
    ReleaseSocket(true);
    ReleaseServer();
}

void QtSocket::SetLocalPort(int port) {
    if (port < 0 || port > 65535) {
        throw SocketError(kSocketErrorInvalidArgument, "invalid port " + std::to_string(port));
    }
    localPort_ = port;
}

void QtSocket::SetProtocol(int protocol) {
    if (protocol != 0) {
        throw SocketError(kSocketErrorInvalidArgument, "only TCP (protocol 0) is supported");
    }
}

std::string QtSocket::RemoteHostIP() const {
    return remoteHostIp_;
}

void QtSocket::Bind(int port, const std::string& address) {
    if (state_ != kSocketClosed) {
        throw SocketError(kSocketWrongState, kWrongState);
    }
    QHostAddress parsed;
    if (!parsed.setAddress(QString::fromStdString(address))) {
        throw SocketError(SocketErrorNumber(QAbstractSocket::SocketAddressNotAvailableError),
                          "invalid address '" + address + "'");
    }
    SetLocalPort(port);
    bindAddress_ = address;
}

void QtSocket::Listen() {
    if (state_ != kSocketClosed) {
        throw SocketError(kSocketWrongState, kWrongState);
    }
    const QHostAddress address = bindAddress_ ? QHostAddress(QString::fromStdString(*bindAddress_))
                                              : QHostAddress(QHostAddress::Any);
    auto server = std::make_unique<QTcpServer>();
    server->setMaxPendingConnections(kMaxPendingConnections);
    if (!server->listen(address, static_cast<quint16>(localPort_))) {
        throw SocketError(SocketErrorNumber(server->serverError()), ToStd(server->errorString()));
    }
    server_ = std::move(server);
    QObject::connect(server_.get(), &QTcpServer::newConnection, events_.Context(),
                     [this] { OnNewConnection(); });
    QObject::connect(server_.get(), &QTcpServer::acceptError, events_.Context(),
                     [this](QAbstractSocket::SocketError error) {
                         // Qt stops accepting after such an error (out of descriptors, for
                         // example); the listener stays bound and takes connections again soon.
                         QTimer::singleShot(
                             kResumeAcceptingMs, server_.get(),
                             [server = server_.get()] { server->resumeAccepting(); });
                         const int number = SocketErrorNumber(error);
                         const std::string text = ToStd(server_->errorString());
                         events_.Post([this, number, text] {
                             if (events.Error) {
                                 events.Error(number, text);
                             }
                         });
                     });
    state_ = kSocketListening;
}

void QtSocket::Accept(const RequestId& request) {
    if (state_ != kSocketClosed) {
        throw SocketError(kSocketWrongState, kWrongState);
    }
    auto* pending = dynamic_cast<PendingConnection*>(request.get());
    QTcpSocket* socket = pending != nullptr ? pending->Take() : nullptr;
    if (socket == nullptr) {
        throw SocketError(kSocketBadRequest, "invalid or already accepted connection request");
    }
    Adopt(socket);
    state_ = kSocketConnected;
    // Data and a close that came before the accept are reported after this call.
    if (socket->bytesAvailable() > 0) {
        PostDataArrival();
    }
    if (socket->state() != QAbstractSocket::ConnectedState) {
        OnDisconnected();
    }
}

void QtSocket::Connect(const std::string& host, int port) {
    if (state_ != kSocketClosed) {
        throw SocketError(kSocketWrongState, kWrongState);
    }
    if (port < 1 || port > 65535) {
        throw SocketError(kSocketErrorInvalidArgument, "invalid port " + std::to_string(port));
    }
    auto* socket = new QTcpSocket();
    Adopt(socket);
    state_ = kSocketConnecting;
    socket->connectToHost(QString::fromStdString(host), static_cast<quint16>(port));
}

void QtSocket::SendData(std::string_view data) {
    if (state_ != kSocketConnected || !socket_) {
        throw SocketError(kSocketWrongState, kWrongState);
    }
    // Straight to the kernel while nothing waits in Qt's buffer: no event-loop delay, and
    // the order of bytes is kept because Qt's buffer is empty.
    if (socket_->bytesToWrite() == 0 && socket_->state() == QAbstractSocket::ConnectedState) {
        const ssize_t sent = ::send(static_cast<int>(socket_->socketDescriptor()), data.data(),
                                    data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            data.remove_prefix(static_cast<std::size_t>(sent));
        }
    }
    if (!data.empty()) {
        socket_->write(data.data(), static_cast<qint64>(data.size()));
    }
}

std::string QtSocket::GetData() {
    if (!socket_) {
        return {};
    }
    const QByteArray bytes = socket_->readAll();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void QtSocket::Close() {
    Shut(true);
}

void QtSocket::Abort() {
    Shut(false);
}

void QtSocket::Shut(bool keepOutput) {
    events_.NextGeneration();
    dataArrivalPosted_ = false;
    ReleaseSocket(keepOutput);
    ReleaseServer();
    remoteHostIp_.clear();
    state_ = kSocketClosed;
}

std::size_t QtSocket::BytesQueued() const {
    return socket_ ? static_cast<std::size_t>(socket_->bytesToWrite()) : 0;
}

PeerOwner QtSocket::LookUpPeer() const {
    if (!socket_) {
        return {std::nullopt, "no connection"};
    }
    if (socket_->socketDescriptor() < 0) {
        return {std::nullopt, "the peer closed the connection before it was checked"};
    }
    return PeerUser::Lookup(static_cast<int>(socket_->socketDescriptor()));
}

int QtSocket::ListeningPort() const {
    return server_ ? server_->serverPort() : 0;
}

void QtSocket::Adopt(QTcpSocket* socket) {
    socket_.reset(socket);
    socket->setParent(nullptr);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // A reader that holds back leaves the rest in the kernel, so TCP slows the sender down.
    socket->setReadBufferSize(kReadBufferSize);
    QObject* ctx = events_.Context();
    QObject::connect(socket, &QIODevice::readyRead, ctx, [this] { OnReadyRead(); });
    // Qt sends one buffered block per write notification; hand the kernel all it takes.
    QObject::connect(socket, &QIODevice::bytesWritten, ctx, [this] {
        if (socket_ && socket_->bytesToWrite() > 0) {
            socket_->flush();
        }
    });
    QObject::connect(socket, &QAbstractSocket::disconnected, ctx, [this] { OnDisconnected(); });
    QObject::connect(socket, &QAbstractSocket::errorOccurred, ctx, [this] { OnSocketError(); });
    QObject::connect(socket, &QAbstractSocket::connected, ctx, [this] { OnConnected(); });
    if (socket->state() == QAbstractSocket::ConnectedState) {
        remoteHostIp_ = PeerText();
    }
}

std::string QtSocket::PeerText() const {
    const QHostAddress peer = socket_->peerAddress();
    bool isV4 = false;
    const quint32 v4 = peer.toIPv4Address(&isV4);
    return isV4 ? ToStd(QHostAddress(v4).toString()) : ToStd(peer.toString());
}

void QtSocket::OnNewConnection() {
    while (server_ && server_->hasPendingConnections()) {
        auto request = std::make_shared<PendingConnection>(server_->nextPendingConnection());
        // An unanswered request (or one dropped by Close) refuses the peer when released.
        events_.Post([this, request] {
            if (events.ConnectionRequest) {
                events.ConnectionRequest(request);
            }
        });
    }
}

void QtSocket::OnReadyRead() {
    // Data that arrives while a handler runs waits for the next pass.
    if (deliveringData_) {
        PostDataArrival();
        return;
    }
    const qint64 waiting = socket_ ? socket_->bytesAvailable() : 0;
    if (waiting <= 0 || !events.DataArrival) {
        return;
    }
    const DeviceEvents::Stamp stamp = events_.Mark();
    deliveringData_ = true;
    events.DataArrival(static_cast<std::size_t>(waiting));
    if (stamp.Alive()) {
        deliveringData_ = false;
    }
}

void QtSocket::PostDataArrival() {
    if (dataArrivalPosted_) {
        return;
    }
    dataArrivalPosted_ = true;
    events_.Post([this] {
        dataArrivalPosted_ = false;
        OnReadyRead();
    });
}

void QtSocket::OnDisconnected() {
    if (state_ != kSocketConnected) {
        return;
    }
    state_ = kSocketClosing;
    events_.Post([this] {
        if (events.Close) {
            events.Close();
        }
    });
}

void QtSocket::OnSocketError() {
    const QAbstractSocket::SocketError error = socket_->error();
    // The peer's orderly close or reset is the Close event, reported by OnDisconnected.
    if (error == QAbstractSocket::RemoteHostClosedError && state_ == kSocketConnected) {
        return;
    }
    if (state_ != kSocketConnecting && state_ != kSocketConnected) {
        return;
    }
    state_ = kSocketError;
    const int number = SocketErrorNumber(error);
    const std::string text = ToStd(socket_->errorString());
    events_.Post([this, number, text] {
        if (events.Error) {
            events.Error(number, text);
        }
    });
}

void QtSocket::OnConnected() {
    if (state_ != kSocketConnecting) {
        return;
    }
    state_ = kSocketConnected;
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    remoteHostIp_ = PeerText();
    events_.Post([this] {
        if (events.Connect) {
            events.Connect();
        }
    });
}

void QtSocket::ReleaseSocket(bool keepOutput) {
    if (!socket_) {
        return;
    }
    QTcpSocket* socket = socket_.release();
    QObject::disconnect(socket, nullptr, events_.Context(), nullptr);
    if (keepOutput && socket->state() == QAbstractSocket::ConnectedState &&
        socket->bytesToWrite() > 0) {
        // Let what was sent before the close go out; the socket deletes itself afterwards.
        QObject::connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(kLingerMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        socket->disconnectFromHost();
        return;
    }
    socket->abort();
    socket->deleteLater();
}

void QtSocket::ReleaseServer() {
    if (!server_) {
        return;
    }
    QTcpServer* server = server_.release();
    server->disconnect();
    // Closing drops the connections the system queued and we did not take yet.
    server->close();
    server->deleteLater();
}

}  // namespace tolvan
