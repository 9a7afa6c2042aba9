#include "server/platform/PendingConnection.h"

#include <QCoreApplication>
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
        // A request still queued when the application object goes is destroyed while Qt holds
        // its event queue: posting a deferred delete then would wait for that queue for ever.
        if (QCoreApplication::closingDown()) {
            delete socket_;
        } else {
            socket_->deleteLater();
        }
    }
}

QTcpSocket* PendingConnection::Take() {
    return std::exchange(socket_, nullptr);
}

}  // namespace tolvan
