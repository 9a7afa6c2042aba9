#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "server/core/PortRecord.h"
#include "tests/support/FakeSocket.h"

namespace tolvan {

// A client at address `from` asks the port's listener for a connection; returns the slot it
// got and still holds, or 0.
inline int RequestConnection(const PortRecord& port, FakeSocket& listener,
                             const std::string& from = "127.0.0.1") {
    std::vector<bool> before;
    for (const auto& slot : port.Connections) {
        before.push_back(slot.InUse);
    }
    listener.FireConnectionRequest(std::make_shared<FakeIncoming>(from));
    for (std::size_t i = 1; i < before.size() && i < port.Connections.size(); ++i) {
        if (!before[i] && port.Connections[i].InUse) {
            return static_cast<int>(i);
        }
    }
    return 0;
}

}  // namespace tolvan
