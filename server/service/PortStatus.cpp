#include "server/service/PortStatus.h"

#include <exception>

#include "server/bridge/PortAccess.h"
#include "server/bridge/ServerContext.h"
#include "server/core/ForeignText.h"
#include "server/core/ListenAddress.h"

namespace tolvan {

std::string PortStatusText(ServerContext& ctx, int portIndex, const DevicePathOf& devicePath) {
    const PortRecord& port = PortAt(ctx, portIndex);
    const std::string name =
        "COM" + Num(port.PortNumber) + " (" + EscapeForeignText(devicePath(port.PortNumber)) + ")";
    if (!port.FailureReason.empty()) {
        return name + " is out of service: " + port.FailureReason;
    }
    if (!port.Enabled) {
        return name + " is disabled";
    }
    if (port.ServiceType != 0) {
        return name + " connects to " + EscapeForeignText(port.RemoteIP) + ":" +
               Num(port.RemotePort) + " (client mode)";
    }
    const int tcpPort = ctx.settings.BaseTCPPort + port.PortNumber;
    if (ListenerOf(ctx, portIndex).State() != kSocketListening) {
        return name + " is open but not listening on TCP port " + Num(tcpPort);
    }
    return name + " listening on " + ListenEndpoints(ctx.settings.ListenAddress, tcpPort);
}

void LogPortStatus(ServerContext& ctx, int portIndex, const DevicePathOf& devicePath) {
    try {
        ctx.log.Information(PortStatusText(ctx, portIndex, devicePath));
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M2S2 ") + e.what());
    }
}

}  // namespace tolvan
