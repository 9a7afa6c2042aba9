#include "server/bridge/PasswordGate.h"

#include <exception>
#include <string>
#include <utility>

#include "console_protocol/TextForms.h"
#include "server/bridge/ComPort.h"
#include "server/bridge/Connections.h"
#include "server/bridge/LoginGuard.h"
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

// Compares in a time that depends on the length of the given text only, so that the time of
// a refusal tells nothing about how much of the password was right.
bool SamePassword(std::string_view given, std::string_view password) {
    unsigned char difference = given.size() == password.size() ? 0 : 1;
    for (std::size_t i = 0; i < given.size(); ++i) {
        const char expected = password.empty() ? '\0' : password[i % password.size()];
        difference |= static_cast<unsigned char>(given[i] ^ expected);
    }
    return difference == 0;
}

void RefusePassword(ServerContext& ctx, int index, ConnectionSlot& slot, bool overlong) {
    const int portIndex = PortIndexOf(index);
    const int connNo = ConnNoOf(index);
    ++slot.BadPasswordCount;
    AddToCounter(ctx, portIndex, kCounterInvalidPasswords, 1);
    if (!CountWrongPassword(ctx, portIndex, connNo, overlong)) {
        SendToConnection(
            ctx, index,
            std::string(kCrLf) + "Invalid Password...." + std::string(kCrLf) + "password:");
        TraceIfOn(ctx, portIndex, kTraceConnectionEvent,
                  "Invalid Password Received (Index " + Num(connNo) + ")");
        return;
    }
    TraceIfOn(ctx, portIndex, kTraceConnectionEvent,
              "Invalid Password Received Shutting Down Listener (Index " + Num(connNo) + ")");
    slot.BadPasswordCount = 0;
    EnforceLockout(ctx, portIndex, connNo);
}

void AcceptPassword(ServerContext& ctx, int index, ConnectionSlot& slot) {
    const int portIndex = PortIndexOf(index);
    slot.Authenticated = 1;
    AddToCounter(ctx, portIndex, kCounterConnections, 1);
    NoteLogin(ctx, portIndex, ConnNoOf(index), true);
    SendToConnection(ctx, index, std::string(kCrLf) + "Connected...." + std::string(kCrLf));
    if (!DeviceStillThere(ctx, portIndex, "M2S11.1")) {
        return;
    }
    TraceIfOn(ctx, portIndex, kTraceConnectionEvent,
              "Data Connection Established (Index " + Num(ConnNoOf(index)) + ")");
}

}  // namespace

void CheckPassword(ServerContext& ctx, int index, PortRecord& port, ConnectionSlot& slot,
                   const std::string& chunk) {
    PasswordLineState& line = slot.PasswordLine;
    for (const char c : chunk) {
        // Once admitted or closed, the rest of the chunk was typed before the answer: dropped.
        if (!slot.InUse || slot.Authenticated != 0) {
            return;
        }
        if (std::exchange(line.EndSeen, false) && (c == '\n' || c == '\0')) {
            continue;
        }
        if (c == '\r' || c == '\n') {
            line.EndSeen = true;
            if (std::exchange(line.Overlong, false)) {
                continue;  // counted when it grew too long
            }
            const std::string attempt = console::Trim(std::exchange(slot.PasswordBuffer, {}));
            if (attempt.empty()) {
                continue;
            }
            if (SamePassword(attempt, port.ConnectPassword)) {
                AcceptPassword(ctx, index, slot);
            } else {
                RefusePassword(ctx, index, slot, false);
            }
            continue;
        }
        if (line.Overlong) {
            continue;
        }
        slot.PasswordBuffer += c;
        if (slot.PasswordBuffer.size() > kLongestPasswordLine) {
            slot.PasswordBuffer.clear();
            line.Overlong = true;
            RefusePassword(ctx, index, slot, true);
        }
    }
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
        slot.PeerAddress = ctx.sckMain.Get(index).RemoteHostIP();
        if (!port.ConnectPassword.empty()) {
            slot.Authenticated = 0;
            if (AdmitToPasswordGate(ctx, portIndex, connNo)) {
                SendToConnection(ctx, index, std::string(kCrLf) + "Password:");
            }
            return;
        }
        slot.Authenticated = 1;
        AddToCounter(ctx, portIndex, kCounterConnections, 1);
        NoteLogin(ctx, portIndex, connNo, false);
        // A line-controlling client takes every byte for line data: it gets no greeting.
        if (!LineControlOn(port)) {
            SendToConnection(ctx, index, "Connected...." + std::string(kCrLf));
        }
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
