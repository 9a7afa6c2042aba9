#include "server/service/StartUp.h"

#include <algorithm>
#include <exception>

#include "server/bridge/PortControl.h"
#include "server/bridge/ServerContext.h"
#include "server/core/PortSettings.h"

namespace tolvan {

namespace {

// Opens the probe on COM n; only "no such port" means absent.
bool ProbePort(SerialDevice& probe, int comNumber) {
    try {
        probe.SetCommPort(comNumber);
        probe.SetPortOpen(true);
    } catch (const SerialError& e) {
        return e.Number() != kSerialInvalidPort;
    } catch (const std::exception&) {
        return true;
    }
    try {
        probe.SetPortOpen(false);
    } catch (const std::exception&) {
        // The port was found; a failing close does not change that.
    }
    return true;
}

void StartConsoleListener(ServerContext& ctx) {
    Socket& console = *ctx.sckConsole;
    const int state = console.State();
    if (state == kSocketConnected || state == kSocketListening) {
        return;
    }
    console.SetProtocol(0);
    console.SetLocalPort(ctx.settings.BaseTCPPort);
    console.Bind(ctx.settings.BaseTCPPort, "127.0.0.1");
    console.Listen();
}

template <class Action>
void IgnoringErrors(Action action) {
    try {
        action();
    } catch (const std::exception&) {
        // The stop sequence goes on with the next step.
    }
}

}  // namespace

std::vector<int> EnumerateSerialPorts(ServerContext& ctx) {
    std::vector<int> found;
    found.reserve(kHighestComNumber);
    try {
        SerialDevice& probe = ctx.SerialIO.Ensure(kProbeIndex);
        for (int n = 1; n <= kHighestComNumber; ++n) {
            if (ProbePort(probe, n)) {
                found.push_back(n);
            }
        }
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M2S4 ") + e.what());
    }
    found.shrink_to_fit();
    return found;
}

void InitialisePorts(ServerContext& ctx) {
    try {
        const std::vector<int> numbers = EnumerateSerialPorts(ctx);
        ctx.ports.assign(numbers.size(), PortRecord{});
        for (int i = 0; i < static_cast<int>(numbers.size()); ++i) {
            PortRecord& port = ctx.ports[i];
            port.PortNumber = static_cast<uint8_t>(numbers[i]);
            LoadPortSettings(ctx, i);
            const bool clientMode = port.ServiceType != 0;
            // Only 15 data connections per port can be numbered in a socket index.
            const int slots = clientMode ? 1 : std::min<int>(port.MaxConnections, kMaxSlotsPerPort);
            port.Connections.assign(static_cast<std::size_t>(slots) + 1, ConnectionSlot{});
            ctx.sckMain.Ensure(SocketIndex(i, clientMode ? 1 : 0));
            ctx.SerialIO.Ensure(i);
            ApplyPortSettings(ctx, i);
        }
        ctx.PortsReady = true;
        ctx.reports->SendPortList();
        StartConsoleListener(ctx);
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M2S2 ") + e.what());
    }
}

void StopSequence(ServerContext& ctx) {
    IgnoringErrors([&] { ctx.log.Information("Received Shut Down Signal"); });
    for (int index : ctx.sckMain.Indexes()) {
        IgnoringErrors([&] {
            Socket& socket = ctx.sckMain.Get(index);
            if (socket.State() != kSocketClosed) {
                socket.Close();
            }
        });
        if (index < kProbeIndex) {
            IgnoringErrors([&] { ctx.sckMain.Destroy(index); });
        }
    }
    for (int index : ctx.SerialIO.Indexes()) {
        IgnoringErrors([&] {
            SerialDevice& device = ctx.SerialIO.Get(index);
            if (device.PortOpen()) {
                device.SetPortOpen(false);
            }
        });
        if (index < kProbeIndex) {
            IgnoringErrors([&] { ctx.SerialIO.Destroy(index); });
        }
    }
    ctx.PortsReady = false;
}

}  // namespace tolvan
