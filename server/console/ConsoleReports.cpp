#include "server/console/ConsoleReports.h"

#include <exception>
#include <stdexcept>
#include <utility>

#include "console_protocol/Frame.h"
#include "console_protocol/Messages.h"
#include "console_protocol/PortSettingsTable.h"
#include "console_protocol/TextForms.h"
#include "server/bridge/PortAccess.h"
#include "server/bridge/ServerContext.h"
#include "server/console/ConsoleClients.h"
#include "server/console/PortState.h"
#include "server/core/DateTime.h"

namespace tolvan {

namespace {

std::string PortSettingsPayload(int portIndex, const PortRecord& port) {
    return console::JoinFields(console::SettingsFields(portIndex, port.PortNumber, port));
}

}  // namespace

ConsoleReports::ConsoleReports(ServerContext& ctx, ConsoleClients& clients, DevicePathOf devicePath)
    : ctx_(ctx), clients_(clients), devicePath_(std::move(devicePath)) {}

template <class Build>
void ConsoleReports::Send(std::string_view code, const char* tag, int client, Build build) {
    std::string frame;
    try {
        frame = console::FrameMessage(code, build());
    } catch (const std::exception& e) {
        ctx_.log.LogError(std::string(tag) + e.what());
        return;
    }
    clients_.Send(client, frame);
}

void ConsoleReports::SendPortSettingsReport(int portIndex) {
    SendPortSettingsReport(portIndex, kEveryClient);
}

void ConsoleReports::SendConnectionCount(int first) {
    SendConnectionCount(first, kEveryClient);
}

void ConsoleReports::SendPortList() {
    SendPortList(kEveryClient);
}

void ConsoleReports::SendConnectionList(int portIndex) {
    SendConnectionList(portIndex, kEveryClient);
}

void ConsoleReports::SendPortSettingsReport(int portIndex, int client) {
    Send(console::kCodePortSettings, "M1S7 ", client,
         [&] { return PortSettingsPayload(portIndex, PortAt(ctx_, portIndex)); });
}

void ConsoleReports::SendConnectionCount(int first, int client) {
    Send(console::kCodeConnectionCount, "M1S13 ", client, [&] {
        int total = 0;
        for (const PortRecord& port : ctx_.ports) {
            for (int c = 1; c <= port.UpperSlot(); ++c) {
                total += port.Connections[static_cast<std::size_t>(c)].InUse ? 1 : 0;
            }
        }
        return Num(first) + "|" + Num(total);
    });
}

void ConsoleReports::SendPortList(int client) {
    Send(console::kCodePortList, "M1S9 ", client, [&] {
        if (!ctx_.PortsReady) {
            return std::string("0");
        }
        std::string payload = Num(static_cast<long long>(ctx_.ports.size()));
        for (const PortRecord& port : ctx_.ports) {
            payload += "|" + Num(port.PortNumber);
        }
        return payload;
    });
}

void ConsoleReports::SendConnectionList(int portIndex, int client) {
    Send(console::kCodeConnectionList, "M1S10 ", client, [&] {
        const PortRecord& port = PortAt(ctx_, portIndex);
        int count = 0;
        std::string entries;
        for (int c = 1; c <= port.UpperSlot(); ++c) {
            const ConnectionSlot& slot = port.Connections[static_cast<std::size_t>(c)];
            if (!slot.InUse) {
                continue;
            }
            const Socket& socket = ctx_.sckMain.Get(SocketIndex(portIndex, c));
            ++count;
            entries += "|" + Num(c) + "|" + Num(slot.Authenticated) + "|" +
                       DateTimeText(slot.ConnectTime) + "|" + socket.RemoteHostIP() + "|" +
                       Num(socket.State());
        }
        return Num(portIndex) + "|" + Num(count) + entries;
    });
}

void ConsoleReports::SendTraceEvent(int portIndex, int kind, std::string_view text) {
    std::string frame;
    bool traced = false;
    try {
        const PortRecord& port = PortAt(ctx_, portIndex);
        traced = port.TraceOn;
        frame = console::FrameMessage(
            console::kCodeTrace,
            console::TraceEventPayload(portIndex, port.PortNumber, kind, text));
    } catch (const std::exception& e) {
        ctx_.log.LogError(std::string("M1S11 ") + e.what());
        return;
    }
    // Client-mode progress is sent whether or not anyone traces the port; nobody asked for it
    // then, so everyone hears it.
    if (traced) {
        clients_.SendToTracers(portIndex, frame);
    } else {
        clients_.Send(kEveryClient, frame);
    }
}

void ConsoleReports::SendPortStatistics(int portIndex, int client) {
    Send(console::kCodeStatistics, "M1S6 ", client, [&] {
        const PortRecord& port = PortAt(ctx_, portIndex);
        std::string payload = Num(portIndex) + "|" + DateTimeText(port.CountersResetTime);
        for (const int32_t counter : port.Counters) {
            payload += "|" + Num(counter);
        }
        return payload;
    });
}

void ConsoleReports::SendVersionReport(int client) {
    Send(console::kCodeVersion, "M1S8 ", client, [] {
        return console::VersionPayload(TOLVAN_VERSION_MAJOR, TOLVAN_VERSION_MINOR,
                                       TOLVAN_VERSION_REVISION);
    });
}

void ConsoleReports::SendPortState(int portIndex, int client) {
    Send(console::kCodePortState, "M1S14 ", client, [&] {
        const PortRecord& port = PortAt(ctx_, portIndex);
        const PortState state = DescribePortState(
            ctx_, portIndex, devicePath_ ? devicePath_(port.PortNumber) : std::string());
        return console::PortStatePayload(portIndex, state.state, state.until, state.detail);
    });
}

}  // namespace tolvan
