#include "server/service/StartUp.h"

#include <algorithm>
#include <exception>

#include "server/bridge/Connections.h"
#include "server/bridge/PortAccess.h"
#include "server/bridge/PortControl.h"
#include "server/bridge/ServerContext.h"
#include "server/console/ConsoleServer.h"
#include "server/core/PortSettings.h"
#include "server/core/ServiceSettings.h"
#include "server/service/GeneratedPassword.h"

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

// A port with no stored password gets a random one of its own, stored before the port opens.
// A stored password, an empty one included (no password), is never changed. Without a
// password it can rely on, the port stays disabled.
void GivePasswordIfNone(ServerContext& ctx, PortRecord& port) {
    const std::string subkey = "Port" + Num(port.PortNumber);
    if (GetServiceSetting(ctx, subkey, "ConnectPassword", kNotFound) != kNotFound) {
        return;
    }
    const std::string where = "Serial Port " + Num(port.PortNumber);
    std::string password;
    try {
        password = GeneratePassword();
    } catch (const std::exception& e) {
        ctx.log.LogError("M2S2 no password could be generated for " + where + " (" + e.what() +
                         "); the port stays disabled.");
        port.Enabled = false;
        return;
    }
    switch (ctx.store.RegAddValue(ServiceKeyPath(subkey), "ConnectPassword", password)) {
        case RegistryStore::AddOutcome::Added:
            port.ConnectPassword = password;
            ctx.log.Information(where + " had no password: a new one was generated and stored as " +
                                "\"ConnectPassword\" of " + subkey + ".");
            break;
        case RegistryStore::AddOutcome::AlreadyThere:
            // Written meanwhile (then it is taken), or a value the store does not hand out.
            if (const std::string stored =
                    GetServiceSetting(ctx, subkey, "ConnectPassword", kNotFound);
                stored != kNotFound) {
                port.ConnectPassword = stored;
                break;
            }
            ctx.log.LogError("M2S2 \"ConnectPassword\" of " + subkey + " cannot be read; " + where +
                             " stays disabled.");
            port.Enabled = false;
            break;
        case RegistryStore::AddOutcome::Failed:
            port.ConnectPassword = password;
            ctx.log.LogError("M2S2 the password generated for " + where +
                             " could not be stored; it holds until the service stops and the "
                             "configurator shows it.");
            break;
    }
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
            GivePasswordIfNone(ctx, port);
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
    for (int p = 0; p < static_cast<int>(ctx.ports.size()); ++p) {
        for (int c = 1; c <= ctx.ports[static_cast<std::size_t>(p)].UpperSlot(); ++c) {
            IgnoringErrors([&] { NoteConnectionEnd(ctx, p, c, CloseReason::ServiceStop); });
        }
    }
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
