#pragma once

#include <memory>

#include "server/bridge/Socket.h"
#include "server/platform/QtSocket.h"

namespace tolvan {

class QtSocketFactory : public SocketFactory {
public:
    std::unique_ptr<Socket> Create() override { return std::make_unique<QtSocket>(); }
};

}  // namespace tolvan
