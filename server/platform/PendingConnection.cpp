#include "server/platform/PendingConnection.h"

#include <QTcpSocket>
#include <utility>

namespace tolvan {

PendingConnection::PendingConnection(QTcpSocket* socket) : socket_(socket) {
    // The listener may go before the request is answered.
    socket_->setParent(nullptr);
}

PendingConnection::~PendingConnection() {
    if (socket_ != nullptr) {
        socket_->disconnect();
        socket_->abort();
        socket_->deleteLater();
    }
}

QTcpSocket* PendingConnection::Take() {
    return std::exchange(socket_, nullptr);
}

}  // namespace tolvan
