#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "server/bridge/ServerContext.h"

namespace tolvan {

// Small accessors shared by the bridge's operations. Out-of-range addresses throw, so the
// calling operation logs them under its own tag.

inline constexpr std::string_view kCrLf = "\r\n";

inline ConnectionSlot& SlotAt(PortRecord& port, int connNo) {
    if (connNo < 0 || connNo > port.UpperSlot()) {
        throw std::out_of_range("no connection slot " + std::to_string(connNo) + " on COM" +
                                std::to_string(port.PortNumber));
    }
    return port.Connections[static_cast<std::size_t>(connNo)];
}

inline Socket& ListenerOf(ServerContext& ctx, int portIndex) {
    return ctx.sckMain.Get(SocketIndex(portIndex, 0));
}

// A trace report for the port, sent only while its trace is switched on.
inline void TraceIfOn(ServerContext& ctx, int portIndex, int kind, std::string_view text) {
    if (PortAt(ctx, portIndex).TraceOn) {
        ctx.reports->SendTraceEvent(portIndex, kind, text);
    }
}

inline std::string Num(long long value) {
    return std::to_string(value);
}

}  // namespace tolvan
