#include "server/bridge/SupervisionTimer.h"

#include <exception>
#include <string>

#include "server/bridge/ClientMode.h"
#include "server/bridge/Connections.h"
#include "server/bridge/OutputLimits.h"
#include "server/bridge/PortAccess.h"
#include "server/bridge/PortControl.h"
#include "server/core/Counters.h"

namespace tolvan {

namespace {

// Where a tick stands, for the error entry of an interrupted tick.
struct TickPosition {
    int step = 0;
    int port = 0;
    int slot = 0;
};

void EndSession(ServerContext& ctx, int portIndex, int connNo, CloseReason reason) {
    SendToConnection(ctx, SocketIndex(portIndex, connNo), kSessionTimeoutText);
    AddToCounter(ctx, portIndex, kCounterTimerEnded, 1);
    CloseConnection(ctx, portIndex, connNo, reason);
}

bool KeepAliveDue(const PortRecord& port, const ConnectionSlot& slot, DateTime now) {
    return port.KeepAliveTimeout > 0 && slot.KeepAliveExpires < now;
}

void CheckClientConnection(ServerContext& ctx, int p, PortRecord& port, TickPosition& at) {
    at.slot = 1;
    at.step = 21;
    const int index = SocketIndex(p, 1);
    const ConnectionSlot& slot = SlotAt(port, 1);
    const DateTime now = ctx.clock.NowUtc();
    if (ctx.sckMain.Get(index).State() == kSocketConnected && port.MaxIdleTime >= 1 &&
        slot.IdleExpires < now) {
        at.step = 22;
        EndSession(ctx, p, 1, CloseReason::IdleTimeout);
    }
    // A free slot has nothing to keep alive.
    at.step = 23;
    if (slot.InUse && KeepAliveDue(port, slot, now)) {
        SendToConnection(ctx, index, kKeepAliveText);
    }
}

void CheckServerConnection(ServerContext& ctx, int p, PortRecord& port, int i, TickPosition& at) {
    at.slot = i;
    const ConnectionSlot& slot = SlotAt(port, i);
    if (!slot.InUse) {
        return;
    }
    const int index = SocketIndex(p, i);
    const DateTime now = ctx.clock.NowUtc();
    if (slot.Authenticated == 0) {
        at.step = 31;
        if (slot.ConnectTime + Seconds(kPasswordLimitSeconds) < ctx.clock.NowLocal()) {
            EndSession(ctx, p, i, CloseReason::SessionTimeout);
        }
        return;
    }
    at.step = 32;
    if (KeepAliveDue(port, slot, now) && !SendToConnection(ctx, index, kKeepAliveText)) {
        return;  // the connection is gone
    }
    at.step = 33;
    if (port.MaxIdleTime >= 1 && slot.IdleExpires < now) {
        EndSession(ctx, p, i, CloseReason::IdleTimeout);
    }
}

void ConnectionCheck(ServerContext& ctx, TickPosition& at) {
    for (int p = 0; p < static_cast<int>(ctx.ports.size()); ++p) {
        at = {20, p, 0};
        PortRecord& port = ctx.ports[static_cast<std::size_t>(p)];
        if (port.ServiceType != 0) {
            CheckClientConnection(ctx, p, port, at);
            continue;
        }
        const int last = std::min<int>(port.MaxConnections, port.UpperSlot());
        for (int i = 1; i <= last; ++i) {
            CheckServerConnection(ctx, p, port, i, at);
        }
    }
    at = {29, 0, 0};
    ctx.timer.NextIdleCheck = ctx.clock.NowUtc() + Seconds(ctx.settings.IdleTimeCheckInterval);
}

void ListenerAndDeviceCheck(ServerContext& ctx, TickPosition& at) {
    at = {40, 0, 0};
    CheckListeners(ctx);
    for (int p = 0; p < static_cast<int>(ctx.ports.size()); ++p) {
        at = {41, p, 0};
        PortRecord& port = ctx.ports[static_cast<std::size_t>(p)];
        if (port.Enabled && !SerialPortPresent(ctx, p)) {
            at.step = 42;
            ctx.log.LogError("F1S3.1 Appears Serial Port " + Num(port.PortNumber) +
                             " has been removed.");
            DisablePort(ctx, p);
        }
    }
    at = {49, 0, 0};
    ctx.timer.NextListenerCheck =
        ctx.clock.NowUtc() + Seconds(ctx.settings.ListeningPortCheckInterval);
}

void ClientReconnectCheck(ServerContext& ctx, TickPosition& at) {
    for (int p = 0; p < static_cast<int>(ctx.ports.size()); ++p) {
        at = {50, p, 1};
        const PortRecord& port = ctx.ports[static_cast<std::size_t>(p)];
        if (port.ServiceType == 0 || !port.Enabled || !port.AllwaysConnected) {
            continue;
        }
        if (ctx.sckMain.Get(SocketIndex(p, 1)).State() == kSocketConnected) {
            continue;
        }
        at.step = 51;
        ctx.reports->SendTraceEvent(p, kTraceSerialEvent, "Client Always Connect->Connecting");
        at.step = 52;
        ConnectClient(ctx, p);
    }
    at = {59, 0, 0};
    ctx.timer.NextClientCheck =
        ctx.clock.NowUtc() + Seconds(ctx.settings.ConstantConnectClientCheckInterval);
}

}  // namespace

void OnTimerTick(ServerContext& ctx) {
    if (!ctx.PortsReady) {
        return;
    }
    TickPosition at;
    try {
        at.step = 10;
        if (ctx.timer.NextIdleCheck < ctx.clock.NowUtc()) {
            ConnectionCheck(ctx, at);
        }
        at = {11, 0, 0};
        if (ctx.timer.NextListenerCheck < ctx.clock.NowUtc()) {
            ListenerAndDeviceCheck(ctx, at);
        }
        at = {12, 0, 0};
        if (ctx.timer.NextClientCheck < ctx.clock.NowUtc()) {
            ClientReconnectCheck(ctx, at);
        }
        // Every tick: a stalled client is closed on time even when no output comes.
        at = {13, 0, 0};
        CheckOutputQueues(ctx);
    } catch (const std::exception& e) {
        ctx.log.LogError("F1S3 Trap=" + Num(at.step) + " D1=" + Num(at.port) +
                         " D2=" + Num(at.slot) + "  " + e.what());
    }
}

}  // namespace tolvan
