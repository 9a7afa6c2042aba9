#pragma once

#include <memory>

#include "server/bridge/socket/QtSocket.h"
#include "server/bridge/socket/Socket.h"

namespace tolvan {

class QtSocketFactory : public SocketFactory {
public:
    std::unique_ptr<Socket> Create() override { return std::make_unique<QtSocket>(); }
};

}  // namespace tolvan
