#include "server/bridge/LineNotifications.h"

#include <exception>
#include <string>

#include "server/bridge/ComPort.h"
#include "server/bridge/PortAccess.h"
#include "server/bridge/TelnetParser.h"

namespace tolvan {

namespace {

// The server's notifications (their codes before the answer offset).
constexpr unsigned char kNotifyLineState = 6;
constexpr unsigned char kNotifyModemState = 7;

// Line state bits.
constexpr int kLineOverrun = 0x02;
constexpr int kLineParity = 0x04;
constexpr int kLineFraming = 0x08;
constexpr int kLineBreak = 0x10;

// Modem state change bits, beside the line bits kModemCts...kModemDcd.
constexpr int kDeltaCts = 0x01;
constexpr int kDeltaDsr = 0x02;
constexpr int kRiTrailingEdge = 0x04;
constexpr int kDeltaDcd = 0x08;

bool Watching(const ConnectionSlot& slot) {
    return slot.InUse && slot.Authenticated != 0 && slot.ComPort.ModemMask != 0 &&
           ComPortAgreed(slot.Telnet);
}

// Tells every logged-in line client whose mask selects one of the changed bits.
void Notify(ServerContext& ctx, int portIndex, unsigned char command, int value, int changed,
            uint8_t ComPortState::*mask) {
    PortRecord& port = PortAt(ctx, portIndex);
    for (int i = 1; i <= port.UpperSlot(); ++i) {
        const ConnectionSlot& slot = port.Connections[static_cast<std::size_t>(i)];
        if (!slot.InUse || slot.Authenticated == 0 || !ComPortAgreed(slot.Telnet)) {
            continue;
        }
        const int selected = slot.ComPort.*mask;
        if ((changed & selected) != 0) {
            SendToLineClient(
                ctx, SocketIndex(portIndex, i),
                ComPortMessage(command, std::string(1, static_cast<char>(value & selected))));
        }
    }
}

}  // namespace

void NotifyLineEvent(ServerContext& ctx, int portIndex, int commEvent) {
    try {
        if (!LineControlOn(PortAt(ctx, portIndex))) {
            return;
        }
        int bit = 0;
        switch (commEvent) {
            case kCommEventBreak:
                bit = kLineBreak;
                break;
            case kCommEventFrame:
                bit = kLineFraming;
                break;
            case kCommEventOverrun:
            case kCommEventRxOver:
                bit = kLineOverrun;
                break;
            case kCommEventRxParity:
                bit = kLineParity;
                break;
            default:
                return;
        }
        Notify(ctx, portIndex, kNotifyLineState, bit, bit, &ComPortState::LineMask);
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M2S30 ") + e.what());
    }
}

void NotifyModemLines(ServerContext& ctx, int portIndex) {
    try {
        PortRecord& port = PortAt(ctx, portIndex);
        if (!LineControlOn(port) || !ctx.SerialIO.Exists(portIndex)) {
            return;
        }
        const int now = ctx.SerialIO.Get(portIndex).ModemLines() & 0xF0;
        const int before = port.ModemLines;
        const int changed = now ^ before;
        if (changed == 0) {
            return;
        }
        port.ModemLines = static_cast<uint8_t>(now);
        const int deltas =
            ((changed & kModemCts) != 0 ? kDeltaCts : 0) |
            ((changed & kModemDsr) != 0 ? kDeltaDsr : 0) |
            ((before & kModemRi) != 0 && (now & kModemRi) == 0 ? kRiTrailingEdge : 0) |
            ((changed & kModemDcd) != 0 ? kDeltaDcd : 0);
        Notify(ctx, portIndex, kNotifyModemState, now | deltas, changed | deltas,
               &ComPortState::ModemMask);
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M2S30 ") + e.what());
    }
}

void UpdateModemWatch(ServerContext& ctx, int portIndex) {
    try {
        PortRecord& port = PortAt(ctx, portIndex);
        bool wanted = false;
        if (LineControlOn(port)) {
            for (int i = 1; i <= port.UpperSlot() && !wanted; ++i) {
                wanted = Watching(port.Connections[static_cast<std::size_t>(i)]);
            }
        }
        if (wanted == port.ModemWatched || !ctx.SerialIO.Exists(portIndex)) {
            return;
        }
        SerialDevice& device = ctx.SerialIO.Get(portIndex);
        port.ModemWatched = wanted;
        port.ModemLines = static_cast<uint8_t>(device.ModemLines() & 0xF0);
        device.WatchModemLines(wanted);
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M2S30 ") + e.what());
    }
}

}  // namespace tolvan
