#include "server/bridge/Connections.h"

#include <exception>

#include "server/bridge/LineNotifications.h"
#include "server/bridge/LoginGuard.h"
#include "server/bridge/OutputLimits.h"
#include "server/bridge/PasswordGate.h"
#include "server/bridge/PortAccess.h"
#include "server/bridge/PortControl.h"

namespace tolvan {

namespace {

// The first free slot from 1 up, or UpperSlot() + 1 when every slot is taken.
int FirstFreeSlot(const PortRecord& port) {
    const int upper = port.UpperSlot();
    for (int i = 1; i <= upper; ++i) {
        if (!port.Connections[static_cast<std::size_t>(i)].InUse) {
            return i;
        }
    }
    return upper + 1;
}

}  // namespace

void ArmSlot(ServerContext& ctx, const PortRecord& port, ConnectionSlot& slot) {
    const DateTime now = ctx.clock.NowUtc();
    slot.IdleExpires = now + Minutes(port.MaxIdleTime);
    slot.KeepAliveExpires = now + Seconds(port.KeepAliveTimeout);
    slot.OverSoftSince = kZeroDate;
    slot.InUse = true;
    slot.AcceptInput = port.AcceptInput;
    slot.Authenticated = 0;
    slot.PasswordBuffer.clear();
    slot.PasswordLine = {};
    slot.PeerAddress.clear();
    slot.BadPasswordCount = 0;
    slot.Telnet = {};
    slot.ComPort = {};
}

bool ListenerLockedOut(const ServerContext& ctx, const PortRecord& port) {
    if (port.ListenerShutdownTime == kZeroDate || port.BadPasswordShutdownLength <= 0) {
        return false;
    }
    const DateTime end = port.ListenerShutdownTime + Minutes(port.BadPasswordShutdownLength);
    return !(end < ctx.clock.NowUtc());
}

void AcceptConnection(ServerContext& ctx, int index, const RequestId& request) {
    try {
        const int portIndex = PortIndexOf(index);
        PortRecord& port = PortAt(ctx, portIndex);
        const int upper = port.UpperSlot();
        const int i = FirstFreeSlot(port);
        if (i <= upper) {
            ConnectionSlot& slot = SlotAt(port, i);
            ArmSlot(ctx, port, slot);
            try {
                Socket& socket = ctx.sckMain.Ensure(SocketIndex(portIndex, i));
                socket.Accept(request);
            } catch (const std::exception&) {
                // No connection came of it: the slot is free again.
                slot.InUse = false;
                throw;
            }
            ConnectionEstablished(ctx, SocketIndex(portIndex, i));
        }
        // Refuse further requests at the listener once no slot is free.
        if (FirstFreeSlot(port) > upper) {
            ListenerOf(ctx, portIndex).Close();
        }
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M2S7 ") + e.what());
    }
}

void NoteConnectionEnd(ServerContext& ctx, int portIndex, int connNo, CloseReason reason) {
    const PortRecord& port = PortAt(ctx, portIndex);
    if (connNo < 1 || connNo > port.UpperSlot() || port.ServiceType != 0 ||
        reason == CloseReason::Refused) {
        return;
    }
    const ConnectionSlot& slot = port.Connections[static_cast<std::size_t>(connNo)];
    if (slot.InUse) {
        ctx.log.Information("Serial Port " + Num(port.PortNumber) + ": connection " + Num(connNo) +
                            " from " + slot.PeerAddress +
                            " ended: " + std::string(CloseReasonText(reason)) + ".");
    }
}

void CloseConnection(ServerContext& ctx, int portIndex, int connNo, CloseReason reason) {
    try {
        PortRecord& port = PortAt(ctx, portIndex);
        NoteConnectionEnd(ctx, portIndex, connNo, reason);
        Socket& socket = ctx.sckMain.Get(SocketIndex(portIndex, connNo));
        if (reason == CloseReason::OutputStalled || reason == CloseReason::OutputHardLimit ||
            reason == CloseReason::OutputBudget) {
            socket.Abort();  // its backlog is what the limit is there to free
        } else {
            socket.Close();
        }
        ConnectionSlot& slot = SlotAt(port, connNo);
        slot.InUse = false;
        slot.Authenticated = 0;
        slot.ComPort.Held.clear();
        UpdateModemWatch(ctx, portIndex);
        ctx.reports->SendConnectionCount(portIndex);
        if (port.Enabled && port.ServiceType == 0) {
            if (ListenerOf(ctx, portIndex).State() != kSocketListening &&
                !ListenerLockedOut(ctx, port)) {
                StartListening(ctx, portIndex);
            }
        }
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M2S9 ") + e.what());
    }
}

bool SendToConnection(ServerContext& ctx, int index, std::string_view text) {
    const int portIndex = PortIndexOf(index);
    const int connNo = ConnNoOf(index);
    try {
        PortRecord& port = PortAt(ctx, portIndex);
        Socket& socket = ctx.sckMain.Get(index);
        if (socket.State() != kSocketConnected) {
            CloseConnection(ctx, portIndex, connNo, CloseReason::ConnectionLost);
            return false;
        }
        socket.SendData(text);
        SlotAt(port, connNo).KeepAliveExpires = ctx.clock.NowUtc() + Seconds(port.KeepAliveTimeout);
        return KeepsUpWithOutput(ctx, index);
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M2S13 ") + e.what());
        return false;
    }
}

void OnConnectionClosed(ServerContext& ctx, int index) {
    try {
        const int portIndex = PortIndexOf(index);
        const int connNo = ConnNoOf(index);
        CloseConnection(ctx, portIndex, connNo, CloseReason::ByClient);
        TraceIfOn(ctx, portIndex, kTraceConnectionEvent,
                  "Connection Closed (Index " + Num(connNo) + ")");
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M2S8 ") + e.what());
    }
}

void OnSocketError(ServerContext& ctx, int index, int /*number*/, const std::string& description) {
    try {
        const int portIndex = PortIndexOf(index);
        const int connNo = ConnNoOf(index);
        ctx.log.LogError("Socket Error Com " + Num(PortAt(ctx, portIndex).PortNumber) + ".... " +
                         description);
        if (connNo > 0) {
            CloseConnection(ctx, portIndex, connNo, CloseReason::SocketError);
        }
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("F1S5 ") + e.what());
    }
}

void StartListening(ServerContext& ctx, int portIndex) {
    PortRecord& port = PortAt(ctx, portIndex);
    Socket& listener = ListenerOf(ctx, portIndex);
    const int tcpPort = ctx.settings.BaseTCPPort + port.PortNumber;
    try {
        if (listener.State() != kSocketClosed) {
            listener.Close();
        }
        listener.SetLocalPort(tcpPort);
        listener.SetProtocol(0);
        // Without Bind the listener takes every address; a changed address needs a new
        // listener element (see RestartListener).
        if (!ctx.settings.ListenAddress.empty()) {
            listener.Bind(tcpPort, ctx.settings.ListenAddress);
        }
        listener.Listen();
        port.FailureReason.clear();
    } catch (const std::exception& e) {
        port.FailureReason = "could not listen on TCP port " + Num(tcpPort) + ": " + e.what();
        throw;
    }
}

void CheckListeners(ServerContext& ctx) {
    // One port's failure does not keep the others' listeners down.
    for (int p = 0; p < static_cast<int>(ctx.ports.size()); ++p) {
        try {
            PortRecord& port = ctx.ports[static_cast<std::size_t>(p)];
            if (port.ServiceType != 0) {
                continue;
            }
            EndLockouts(ctx, p);
            if (!port.Enabled) {
                continue;
            }
            Socket& listener = ListenerOf(ctx, p);
            if (listener.State() == kSocketListening) {
                continue;
            }
            const DateTime end =
                port.ListenerShutdownTime + Minutes(port.BadPasswordShutdownLength);
            if (end < ctx.clock.NowUtc()) {
                StartListening(ctx, p);
                if (port.ListenerShutdownTime != kZeroDate) {
                    ctx.log.Information("Serial Port " + Num(port.PortNumber) +
                                        ": the listener listens again after the lock-out of "
                                        "many addresses.");
                }
                port.ListenerShutdownTime = kZeroDate;
            }
        } catch (const std::exception& e) {
            ctx.log.LogError("M2S19 D1=" + Num(p) + " " + e.what());
        }
    }
}

void DisablePort(ServerContext& ctx, int portIndex) {
    if (!HasPort(ctx, portIndex)) {
        return;
    }
    PortRecord& port = PortAt(ctx, portIndex);
    port.Enabled = false;
    ApplyPortSettings(ctx, portIndex);
    port.FailureReason = "the serial device has been removed";
    ctx.reports->SendPortSettingsReport(portIndex);
    ctx.reports->SendConnectionList(portIndex);
    ctx.reports->SendConnectionCount(portIndex);
}

}  // namespace tolvan
