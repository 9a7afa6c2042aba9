#include "server/bridge/ClientMode.h"

#include <algorithm>
#include <exception>

#include "console_protocol/TextForms.h"
#include "server/bridge/Connections.h"
#include "server/bridge/PortAccess.h"
#include "server/core/ForeignText.h"

namespace tolvan {

namespace {

void KeepPending(PortRecord& port, std::string_view data, bool append) {
    if (!append) {
        port.PendingData.clear();
    }
    port.PendingData.append(data);
    const auto cap = static_cast<std::size_t>(std::max<int>(port.InBufferSize, 0));
    if (port.PendingData.size() > cap) {
        port.PendingData.erase(0, port.PendingData.size() - cap);
    }
}

void ClientTrace(ServerContext& ctx, int portIndex, int kind, std::string_view text) {
    ctx.reports->SendTraceEvent(portIndex, kind, text);
}

}  // namespace

ClientPhase ClientPhaseOf(const ServerContext& ctx, int portIndex) {
    const PortRecord& port = ctx.ports.at(static_cast<std::size_t>(portIndex));
    const int index = SocketIndex(portIndex, 1);
    if (port.UpperSlot() < 1 || !port.Connections[1].InUse || !ctx.sckMain.Exists(index)) {
        return ClientPhase::Closed;
    }
    if (port.Connections[1].Authenticated != 0) {
        return ClientPhase::Connected;
    }
    return ctx.sckMain.Get(index).State() == kSocketConnected ? ClientPhase::LoggingIn
                                                              : ClientPhase::Connecting;
}

void ConnectClient(ServerContext& ctx, int portIndex) {
    const int index = SocketIndex(portIndex, 1);
    try {
        PortAt(ctx, portIndex);
        if (ctx.sckMain.Get(index).State() != kSocketClosed) {
            ClientTrace(ctx, portIndex, kTraceSerialEvent,
                        "Client Connect->Client Not Closed...Closing");
            // Closing starts a new socket generation: events still queued for the old
            // connection are dropped, so the new connect can follow at once.
            CloseConnection(ctx, portIndex, 1);
        }
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M2S18 ") + e.what());
        return;
    }
    PortRecord& port = PortAt(ctx, portIndex);
    ConnectionSlot& slot = SlotAt(port, 1);
    Socket& socket = ctx.sckMain.Get(index);
    ClientTrace(ctx, portIndex, kTraceSerialEvent, "Client Connect->Connecting");
    socket.SetLocalPort(0);
    socket.SetProtocol(0);
    socket.Connect(port.RemoteIP, port.RemotePort);
    ArmSlot(ctx, port, slot);
    // The far end's data is always taken in client mode.
    slot.AcceptInput = true;
}

void ClientHandshake(ServerContext& ctx, int index, const std::string& chunk) {
    const int portIndex = PortIndexOf(index);
    PortRecord& port = PortAt(ctx, portIndex);
    const std::string lower = console::ToLower(chunk);
    if (lower.find("password:") != std::string::npos) {
        SendToConnection(ctx, index, port.ConnectPassword + std::string(kCrLf));
        return;
    }
    if (lower.find("invalid password") != std::string::npos) {
        // The far end's bytes, escaped: they must not act on the journal or a terminal.
        const std::string text = "Received " + EscapeForeignText(chunk) +
                                 " on Client Connection for Serial Port " + Num(port.PortNumber) +
                                 ".";
        ClientTrace(ctx, portIndex, kTraceConnectionEvent, text);
        ctx.log.LogError(text);
        CloseConnection(ctx, portIndex, 1);
        return;
    }
    if (lower.find("connected") == std::string::npos) {
        return;
    }
    ClientTrace(ctx, portIndex, kTraceConnectionEvent,
                "Client Connection established for serial Port " + Num(port.PortNumber) + ".");
    SlotAt(port, ConnNoOf(index)).Authenticated = 1;
    if (!port.PendingData.empty()) {
        const std::string pending = std::move(port.PendingData);
        port.PendingData.clear();
        SendToConnection(ctx, index, pending);
    }
}

void ForwardToClient(ServerContext& ctx, int portIndex, std::string_view data) {
    PortRecord& port = PortAt(ctx, portIndex);
    ConnectionSlot& slot = SlotAt(port, 1);
    if (slot.InUse && slot.Authenticated == 1) {
        SendToConnection(ctx, SocketIndex(portIndex, 1), data);
        slot.IdleExpires = ctx.clock.NowUtc() + Minutes(port.MaxIdleTime);
        return;
    }
    if (slot.InUse) {
        KeepPending(port, data, true);
        return;
    }
    KeepPending(port, data, false);
    ConnectClient(ctx, portIndex);
}

}  // namespace tolvan
