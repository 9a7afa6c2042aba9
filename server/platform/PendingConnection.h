#pragma once

#include <memory>

#include "server/bridge/Socket.h"

class QTcpSocket;

namespace tolvan {

// A connection a listener took from the system and offers through ConnectionRequest.
// Whoever accepts it takes the socket; dropped unaccepted, it closes the peer's connection.
class PendingConnection : public IncomingConnection {
public:
    explicit PendingConnection(QTcpSocket* socket);
    ~PendingConnection() override;
    PendingConnection(const PendingConnection&) = delete;
    PendingConnection& operator=(const PendingConnection&) = delete;

    // The socket, once; null when it was taken already.
    QTcpSocket* Take();

private:
    QTcpSocket* socket_;
};

}  // namespace tolvan
