#include "server/bridge/SocketToSerial.h"

#include <exception>
#include <string>

#include "server/bridge/ClientMode.h"
#include "server/bridge/ComPort.h"
#include "server/bridge/Connections.h"
#include "server/bridge/LineNotifications.h"
#include "server/bridge/PasswordGate.h"
#include "server/bridge/PortAccess.h"
#include "server/bridge/PortControl.h"
#include "server/bridge/TelnetParser.h"
#include "server/core/Counters.h"
#include "server/core/LogFile.h"

namespace tolvan {

namespace {

// Above this many bytes waiting for the serial line, data stays in the connection, whose TCP
// window then slows the sender down; kept below the device's queue minus one socket read.
constexpr std::size_t kSerialHoldBack = 16UL * 1024;

bool HoldsBack(ServerContext& ctx, int portIndex, const ConnectionSlot& slot) {
    if (slot.Authenticated == 0 || !slot.AcceptInput || !ctx.SerialIO.Exists(portIndex)) {
        return false;
    }
    const SerialDevice& device = ctx.SerialIO.Get(portIndex);
    return device.PortOpen() && device.OutBufferCount() >= kSerialHoldBack;
}

void WriteToSerial(ServerContext& ctx, int portIndex, const ConnectionSlot& slot,
                   const std::string& chunk) {
    PortRecord& port = PortAt(ctx, portIndex);
    if (!slot.AcceptInput) {
        return;
    }
    SerialDevice& device = ctx.SerialIO.Get(portIndex);
    if (!device.PortOpen()) {
        return;
    }
    AddToCounter(ctx, portIndex, kCounterToSerial, static_cast<int32_t>(chunk.size()));
    device.Output(chunk);
    TraceIfOn(ctx, portIndex, kTraceToSerial, chunk);
    AppendLogFile(port, chunk);
}

// The connection's part of received data (the chunk holds data bytes only).
void AdmitSocketData(ServerContext& ctx, int index, const std::string& chunk) {
    const int portIndex = PortIndexOf(index);
    try {
        PortRecord& port = PortAt(ctx, portIndex);
        ConnectionSlot& slot = SlotAt(port, ConnNoOf(index));
        if (!slot.InUse) {
            return;  // late data of a connection already closed
        }
        const DateTime now = ctx.clock.NowUtc();
        slot.IdleExpires = now + Minutes(port.MaxIdleTime);
        slot.KeepAliveExpires = now + Seconds(port.KeepAliveTimeout);
        if (slot.Authenticated != 0) {
            WriteToSerial(ctx, portIndex, slot, chunk);
        } else if (port.ServiceType != 0) {
            ClientHandshake(ctx, index, chunk);
        } else {
            CheckPassword(ctx, index, port, slot, chunk);
        }
    } catch (const SerialError& e) {
        if (e.Number() != kSerialDeviceFailed) {
            ctx.log.LogError(std::string("M2S11 ") + e.what());
            return;
        }
        ctx.log.LogError("M2S11 Appears Serial Port " + Num(PortAt(ctx, portIndex).PortNumber) +
                         " has been removed.");
        DisablePort(ctx, portIndex);
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M2S11 ") + e.what());
    }
}

// A line-controlling client's chunk: data, replies and COM-PORT-OPTION commands are acted on
// in the order they came, so that data sent after a change goes out with the new settings.
void ReceiveLineClientData(ServerContext& ctx, int index, const std::string& chunk) {
    const int portIndex = PortIndexOf(index);
    std::size_t pos = 0;
    while (pos < chunk.size()) {
        ConnectionSlot& slot = SlotAt(PortAt(ctx, portIndex), ConnNoOf(index));
        if (!slot.InUse) {
            return;  // closed by what came before
        }
        TelnetOutput out;
        pos +=
            TelnetParser::ParseWithComPort(slot.Telnet, std::string_view(chunk).substr(pos), out);
        if (!out.reply.empty() && !SendToLineClient(ctx, index, out.reply)) {
            return;
        }
        if (!out.data.empty()) {
            AdmitSocketData(ctx, index, out.data);
        }
        if (!out.sub.empty()) {
            ComPortCommand(ctx, index, out.sub);
        }
    }
    UpdateModemWatch(ctx, portIndex);
}

}  // namespace

void ReceiveSocketData(ServerContext& ctx, int index) {
    std::string data;
    try {
        const int connNo = ConnNoOf(index);
        if (connNo == 0) {
            return;
        }
        PortRecord& port = PortAt(ctx, PortIndexOf(index));
        ConnectionSlot& slot = SlotAt(port, connNo);
        if (HoldsBack(ctx, PortIndexOf(index), slot)) {
            return;  // ResumeSocketData reads it once the line has caught up
        }
        Socket& socket = ctx.sckMain.Get(index);
        const std::string chunk = socket.GetData();
        if (LineControlOn(port)) {
            ReceiveLineClientData(ctx, index, chunk);
            return;
        }
        std::string reply;
        TelnetParser::Parse(slot.Telnet, chunk, data, reply);
        if (!reply.empty()) {
            // Through the capped path: a peer that sends commands but never reads is let go.
            SendToConnection(ctx, index, reply);
        }
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("F1S4 ") + e.what());
        return;
    }
    if (!data.empty()) {
        AdmitSocketData(ctx, index, data);
    }
}

void ResumeSocketData(ServerContext& ctx, int portIndex) {
    try {
        for (int i = 1; i <= PortAt(ctx, portIndex).UpperSlot(); ++i) {
            const int index = SocketIndex(portIndex, i);
            if (PortAt(ctx, portIndex).Connections[static_cast<std::size_t>(i)].InUse &&
                ctx.sckMain.Exists(index)) {
                ReceiveSocketData(ctx, index);
            }
        }
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("F1S4 ") + e.what());
    }
}

}  // namespace tolvan
