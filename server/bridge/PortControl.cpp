#include "server/bridge/PortControl.h"

#include <exception>

#include "server/bridge/Connections.h"
#include "server/bridge/Forwarding.h"
#include "server/bridge/LineNotifications.h"
#include "server/bridge/PasswordGate.h"
#include "server/bridge/PortAccess.h"
#include "server/bridge/SocketToSerial.h"
#include "server/core/Counters.h"
#include "server/core/LogFile.h"

namespace tolvan {

namespace {

void TakeDown(ServerContext& ctx, int portIndex, const PortRecord& port) {
    if (port.ServiceType != 0) {
        CloseConnection(ctx, portIndex, 1, CloseReason::PortClosed);
        return;
    }
    for (int i = 1; i <= port.UpperSlot(); ++i) {
        if (port.Connections[static_cast<std::size_t>(i)].InUse) {
            CloseConnection(ctx, portIndex, i, CloseReason::PortClosed);
        }
    }
    if (ListenerOf(ctx, portIndex).State() != kSocketClosed) {
        CloseConnection(ctx, portIndex, 0);
    }
}

// A line event: counted always, traced only while the port's trace is on, told to the clients
// that asked for it.
void LineEvent(ServerContext& ctx, int portIndex, int commEvent, int counter, const char* text) {
    AddToCounter(ctx, portIndex, counter, 1);
    TraceIfOn(ctx, portIndex, kTraceSerialEvent, text);
    NotifyLineEvent(ctx, portIndex, commEvent);
}

}  // namespace

void ApplyPortSettings(ServerContext& ctx, int portIndex) {
    try {
        PortRecord& port = PortAt(ctx, portIndex);
        SerialDevice& device = ctx.SerialIO.Get(portIndex);
        if (device.PortOpen()) {
            device.SetPortOpen(false);
        }
        device.SetCommPort(port.PortNumber);
        device.SetDTREnable(port.DTREnable);
        device.SetHandshaking(port.Handshaking);
        device.SetInBufferSize(port.InBufferSize);
        device.SetOutBufferSize(port.OutBufferSize);
        device.SetRTSEnable(port.RTSEnable);
        device.SetSettings(port.Settings);
        port.ListenerShutdownTime = kZeroDate;
        port.FailureReason.clear();

        if (!port.Enabled) {
            ClosePortLogFile(port);
            TakeDown(ctx, portIndex, port);
            return;
        }
        try {
            device.SetPortOpen(true);
        } catch (const std::exception& e) {
            ctx.log.LogError("Could not open Serial Port " + Num(port.PortNumber) +
                             " Error Message: " + e.what());
            port.Enabled = false;
            port.FailureReason = std::string("could not open the serial device: ") + e.what();
            ClosePortLogFile(port);
            return;
        }
        // Opened afresh, so a changed LogFile takes effect here.
        OpenPortLogFile(ctx, portIndex);
        if (port.ServiceType != 0) {
            return;  // client mode connects out on demand
        }
        if (ListenerOf(ctx, portIndex).State() == kSocketClosed) {
            StartListening(ctx, portIndex);
        }
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M2S3 ") + e.what());
    }
}

void OnComm(ServerContext& ctx, int portIndex, int commEvent) {
    try {
        switch (commEvent) {
            case kCommEvReceive: {
                PortAt(ctx, portIndex);
                const std::string data = ctx.SerialIO.Get(portIndex).Input();
                if (data.empty()) {
                    return;
                }
                AddToCounter(ctx, portIndex, kCounterFromSerial, static_cast<int32_t>(data.size()));
                ForwardSerialData(ctx, portIndex, data);
                break;
            }
            case kCommEvSend:
                ResumeSocketData(ctx, portIndex);
                break;
            case kCommEventFrame:
                LineEvent(ctx, portIndex, commEvent, kCounterFraming, "Framing Error");
                break;
            case kCommEventOverrun:
                LineEvent(ctx, portIndex, commEvent, kCounterOverrun, "Port Over Run");
                break;
            case kCommEventRxOver:
                LineEvent(ctx, portIndex, commEvent, kCounterRxOverflow, "RX Buffer Overflow");
                break;
            case kCommEventRxParity:
                LineEvent(ctx, portIndex, commEvent, kCounterParity, "Parity Error");
                break;
            case kCommEventTxFull:
                LineEvent(ctx, portIndex, commEvent, kCounterTxFull, "TX Buffer Full");
                break;
            case kCommEventBreak:
                NotifyLineEvent(ctx, portIndex, commEvent);
                break;
            case kCommEvModemLines:
                NotifyModemLines(ctx, portIndex);
                break;
            default:
                break;
        }
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("F1S1 ") + e.what());
    }
}

bool SerialPortPresent(ServerContext& ctx, int portIndex) {
    try {
        return ctx.SerialIO.Exists(portIndex) && ctx.SerialIO.Get(portIndex).Present();
    } catch (...) {
        return false;
    }
}

}  // namespace tolvan
