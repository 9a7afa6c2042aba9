#include "server/console/PortState.h"

#include <cmath>
#include <ctime>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "console_protocol/Messages.h"
#include "server/bridge/Connections.h"
#include "server/bridge/PortAccess.h"
#include "server/bridge/ServerContext.h"

namespace tolvan {

namespace {

// A UTC deadline as local "yyyy-MM-dd HH:mm:ss".
std::string LocalText(const ServerContext& ctx, DateTime utc) {
    const DateTime local = utc + (ctx.clock.NowLocal() - ctx.clock.NowUtc());
    const auto seconds = static_cast<time_t>(std::llround(ToUnixSeconds(local)));
    std::tm parts{};
    char text[32];
    // The value is a wall-clock time already, so it is broken down without any zone.
    if (gmtime_r(&seconds, &parts) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts) == 0) {
        return {};
    }
    return text;
}

bool AllSlotsInUse(const PortRecord& port) {
    for (int c = 1; c <= port.UpperSlot(); ++c) {
        if (!port.Connections[static_cast<std::size_t>(c)].InUse) {
            return false;
        }
    }
    return port.UpperSlot() > 0;
}

bool SocketIn(const ServerContext& ctx, int index, int state) {
    return ctx.sckMain.Exists(index) && ctx.sckMain.Get(index).State() == state;
}

}  // namespace

PortState DescribePortState(const ServerContext& ctx, int portIndex,
                            const std::string& devicePath) {
    const PortRecord& port = PortAt(ctx, portIndex);
    const auto state = [](std::string_view name, std::string detail, std::string until = {}) {
        return PortState{std::string(name), std::move(until), std::move(detail)};
    };
    if (!port.Enabled) {
        return port.FailureReason.empty() ? state(console::kStateDisabled, devicePath)
                                          : state(console::kStateFailed, port.FailureReason);
    }
    if (port.ServiceType != 0) {
        const std::string remote = port.RemoteIP + ":" + Num(port.RemotePort);
        const bool connected = port.UpperSlot() >= 1 && port.Connections[1].InUse &&
                               SocketIn(ctx, SocketIndex(portIndex, 1), kSocketConnected);
        return state(connected ? console::kStateConnected : console::kStateConnecting, remote);
    }
    if (SocketIn(ctx, SocketIndex(portIndex, 0), kSocketListening) || AllSlotsInUse(port)) {
        return state(console::kStateListening, devicePath);
    }
    if (ListenerLockedOut(ctx, port)) {
        return state(
            console::kStateLockedOut, devicePath,
            LocalText(ctx, port.ListenerShutdownTime + Minutes(port.BadPasswordShutdownLength)));
    }
    return state(console::kStateFailed, port.FailureReason.empty()
                                            ? "not listening on TCP port " +
                                                  Num(ctx.settings.BaseTCPPort + port.PortNumber)
                                            : port.FailureReason);
}

}  // namespace tolvan
