#include "configurator/SingleInstance.h"

#include <unistd.h>

#include <QLocalSocket>
#include <utility>

namespace tolvan {
namespace {

const QByteArray kRestore = QByteArrayLiteral("restore\n");

}  // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)), server_(this) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
}

QString SingleInstance::DefaultName() {
    return QStringLiteral("TolvanServerConfig-") + QString::number(::getuid());
}

bool SingleInstance::SignalRunningInstance(int timeoutMs) const {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    socket.write(kRestore);
    const bool written = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    return written;
}

bool SingleInstance::Listen() {
    if (server_.listen(name_)) {
        return true;
    }
    // Nobody answered SignalRunningInstance, so the socket file is a leftover.
    QLocalServer::removeServer(name_);
    return server_.listen(name_);
}

void SingleInstance::OnNewConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine() == kRestore) {
                    Q_EMIT RestoreRequested();
                }
            }
        });
    }
}

}  // namespace tolvan
