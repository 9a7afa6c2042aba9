#include "tests/configurator/ConsolePeer.h"

#include <QHostAddress>
#include <QTest>
#include <algorithm>

namespace tolvan::test {

ConsolePeer::ConsolePeer() {
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            if (client_ != nullptr) {
                // One console at a time, as the real server.
                socket->abort();
                socket->deleteLater();
                continue;
            }
            client_ = socket;
            QObject::connect(socket, &QTcpSocket::readyRead, [this] { OnReadyRead(); });
            QObject::connect(socket, &QTcpSocket::disconnected, [this, socket] {
                if (client_ == socket) {
                    client_ = nullptr;
                }
                socket->deleteLater();
            });
        }
    });
}

ConsolePeer::~ConsolePeer() {
    Stop();
}

bool ConsolePeer::Listen(quint16 port) {
    if (!server_.listen(QHostAddress::LocalHost, port)) {
        return false;
    }
    port_ = server_.serverPort();
    return true;
}

void ConsolePeer::Stop() {
    if (client_ != nullptr) {
        QTcpSocket* socket = client_;
        client_ = nullptr;
        socket->disconnect();
        socket->abort();
        socket->deleteLater();
    }
    server_.close();
}

bool ConsolePeer::HasClient() const {
    return client_ != nullptr;
}

bool ConsolePeer::WaitForClient(int timeoutMs) {
    return QTest::qWaitFor([this] { return HasClient(); }, timeoutMs);
}

void ConsolePeer::Send(std::string_view code, std::string_view payload) {
    SendRaw(console::FrameMessage(code, payload) + "\r\n");
}

void ConsolePeer::SendRaw(std::string_view bytes) {
    if (client_ != nullptr) {
        client_->write(bytes.data(), static_cast<qint64>(bytes.size()));
        client_->flush();
    }
}

void ConsolePeer::OnReadyRead() {
    const QByteArray bytes = client_->readAll();
    raw_.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    decoder_.Append(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    while (std::optional<console::Frame> frame = decoder_.Next()) {
        frames_.push_back(console::FrameMessage(frame->code, frame->payload));
    }
}

bool ConsolePeer::WaitForFrames(std::size_t count, int timeoutMs) {
    return QTest::qWaitFor([this, count] { return frames_.size() >= count; }, timeoutMs);
}

void ConsolePeer::ClearReceived() {
    frames_.clear();
    raw_.clear();
}

std::vector<std::string> ConsolePeer::FramesBefore(const std::string& markerFrame, int timeoutMs) {
    (void)QTest::qWaitFor(
        [this, &markerFrame] {
            return std::find(frames_.begin(), frames_.end(), markerFrame) != frames_.end();
        },
        timeoutMs);
    const auto marker = std::find(frames_.begin(), frames_.end(), markerFrame);
    return std::vector<std::string>(frames_.begin(), marker);
}

}  // namespace tolvan::test
