#include "server/bridge/Forwarding.h"

#include <cstring>
#include <exception>

#include "server/bridge/ClientMode.h"
#include "server/bridge/ComPort.h"
#include "server/bridge/Connections.h"
#include "server/bridge/OutputLimits.h"
#include "server/bridge/PortAccess.h"
#include "server/core/LogFile.h"

namespace tolvan {

std::string_view DoubleIac(std::string_view data, std::string& scratch) {
    const char iac = static_cast<char>(255);
    if (data.empty() || std::memchr(data.data(), iac, data.size()) == nullptr) {
        return data;
    }
    scratch.clear();
    scratch.reserve(data.size() + data.size() / 8 + 1);
    std::size_t pos = 0;
    while (pos < data.size()) {
        const void* hit = std::memchr(data.data() + pos, iac, data.size() - pos);
        if (hit == nullptr) {
            scratch.append(data.substr(pos));
            break;
        }
        const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - data.data());
        scratch.append(data.substr(pos, at + 1 - pos));
        scratch.push_back(iac);
        pos = at + 1;
    }
    return scratch;
}

void ForwardSerialData(ServerContext& ctx, int portIndex, std::string_view data) {
    try {
        PortRecord& port = PortAt(ctx, portIndex);
        std::string scratch;
        const std::string_view doubled = DoubleIac(data, scratch);
        if (port.ServiceType != 0) {
            ForwardToClient(ctx, portIndex, doubled);
        } else {
            // One buffer for every connection; a connection that falls too far behind is
            // closed by SendToConnection without holding up the others.
            for (int i = 1; i <= port.UpperSlot(); ++i) {
                const ConnectionSlot& slot = port.Connections[static_cast<std::size_t>(i)];
                if (slot.InUse && slot.Authenticated == 1) {
                    if (LineControlOn(port)) {
                        SendToLineClient(ctx, SocketIndex(portIndex, i), doubled);
                    } else {
                        SendToConnection(ctx, SocketIndex(portIndex, i), doubled);
                    }
                }
            }
        }
        EnforceOutputBudget(ctx);
        TraceIfOn(ctx, portIndex, kTraceFromSerial, doubled);
        // Logged as it crossed the serial line, like the other direction.
        AppendLogFile(port, data);
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M2S12 ") + e.what());
    }
}

}  // namespace tolvan
