#pragma once

#include <cstddef>
#include <vector>

#include "server/core/PortRecord.h"
#include "tests/support/FakeSocket.h"

namespace tolvan {

// A client asks the port's listener for a connection; returns the slot it got, or 0.
inline int RequestConnection(const PortRecord& port, FakeSocket& listener) {
    std::vector<bool> before;
    for (const auto& slot : port.Connections) {
        before.push_back(slot.InUse);
    }
    listener.FireConnectionRequest();
    for (std::size_t i = 1; i < before.size() && i < port.Connections.size(); ++i) {
        if (!before[i] && port.Connections[i].InUse) {
            return static_cast<int>(i);
        }
    }
    return 0;
}

}  // namespace tolvan
