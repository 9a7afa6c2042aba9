#include "server/bridge/PasswordGate.h"

#include <exception>
#include <string>

#include "server/bridge/Connections.h"
#include "server/bridge/PortAccess.h"
#include "server/bridge/PortControl.h"
#include "server/core/Counters.h"

namespace tolvan {

namespace {

// Checked at each successful login: a vanished device takes the port out of service.
bool DeviceStillThere(ServerContext& ctx, int portIndex, const char* tag) {
    if (SerialPortPresent(ctx, portIndex)) {
        return true;
    }
    ctx.log.LogError(std::string(tag) + " Appears Serial Port " +
                     Num(PortAt(ctx, portIndex).PortNumber) + " has been removed.");
    DisablePort(ctx, portIndex);
    return false;
}

void RefusePassword(ServerContext& ctx, int index, PortRecord& port, ConnectionSlot& slot) {
    const int portIndex = PortIndexOf(index);
    const int connNo = ConnNoOf(index);
    slot.PasswordBuffer.clear();
    ++slot.BadPasswordCount;
    AddToCounter(ctx, portIndex, kCounterInvalidPasswords, 1);
    if (slot.BadPasswordCount < port.MaxPasswordAttemps) {
        SendToConnection(
            ctx, index,
            std::string(kCrLf) + "Invalid Password...." + std::string(kCrLf) + "password:");
        TraceIfOn(ctx, portIndex, kTraceConnectionEvent,
                  "Invalid Password Received (Index " + Num(connNo) + ")");
        return;
    }
    TraceIfOn(ctx, portIndex, kTraceConnectionEvent,
              "Invalid Password Received Shutting Down Listener (Index " + Num(connNo) + ")");
    port.ListenerShutdownTime = ctx.clock.NowUtc();
    slot.BadPasswordCount = 0;
    CloseConnection(ctx, portIndex, connNo);
    if (port.BadPasswordShutdownLength > 0) {
        ListenerOf(ctx, portIndex).Close();
    }
}

}  // namespace

void CheckPassword(ServerContext& ctx, int index, PortRecord& port, ConnectionSlot& slot,
                   const std::string& chunk) {
    const int portIndex = PortIndexOf(index);
    slot.PasswordBuffer += chunk;
    if (slot.PasswordBuffer.find('\r') == std::string::npos) {
        const std::size_t keep = port.ConnectPassword.size() + 5;
        if (slot.PasswordBuffer.size() > keep) {
            slot.PasswordBuffer.erase(0, slot.PasswordBuffer.size() - keep);
        }
        return;
    }
    if (slot.PasswordBuffer.find(port.ConnectPassword) == std::string::npos) {
        RefusePassword(ctx, index, port, slot);
        return;
    }
    slot.PasswordBuffer.clear();
    slot.Authenticated = 1;
    AddToCounter(ctx, portIndex, kCounterConnections, 1);
    SendToConnection(ctx, index, std::string(kCrLf) + "Connected...." + std::string(kCrLf));
    if (!DeviceStillThere(ctx, portIndex, "M2S11.1")) {
        return;
    }
    TraceIfOn(ctx, portIndex, kTraceConnectionEvent,
              "Data Connection Established (Index " + Num(ConnNoOf(index)) + ")");
}

void ConnectionEstablished(ServerContext& ctx, int index) {
    try {
        const int portIndex = PortIndexOf(index);
        const int connNo = ConnNoOf(index);
        PortRecord& port = PortAt(ctx, portIndex);
        ConnectionSlot& slot = SlotAt(port, connNo);
        slot.ConnectTime = ctx.clock.NowLocal();
        ctx.reports->SendConnectionCount(portIndex);
        TraceIfOn(ctx, portIndex, kTraceConnectionEvent,
                  "Socket Connection Established (Index " + Num(connNo) + ")");
        if (port.ServiceType != 0) {
            return;  // the far end speaks first
        }
        if (!port.ConnectPassword.empty()) {
            slot.Authenticated = 0;
            SendToConnection(ctx, index, std::string(kCrLf) + "Password:");
            return;
        }
        slot.Authenticated = 1;
        AddToCounter(ctx, portIndex, kCounterConnections, 1);
        SendToConnection(ctx, index, "Connected...." + std::string(kCrLf));
        if (!DeviceStillThere(ctx, portIndex, "M2S10.1")) {
            return;
        }
        TraceIfOn(ctx, portIndex, kTraceConnectionEvent,
                  "Data Connection Established (Index " + Num(connNo) + ")");
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M2S10 ") + e.what());
    }
}

}  // namespace tolvan
