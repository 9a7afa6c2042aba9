#include "server/console/ConsoleReports.h"

#include <exception>
#include <stdexcept>

#include "console_protocol/Frame.h"
#include "console_protocol/Messages.h"
#include "console_protocol/PortSettingsTable.h"
#include "console_protocol/TextForms.h"
#include "server/bridge/PortAccess.h"
#include "server/bridge/ServerContext.h"
#include "server/core/Conversions.h"
#include "server/core/DateTime.h"

namespace tolvan {

namespace {

std::string PortSettingsPayload(int portIndex, const PortRecord& port) {
    return console::JoinFields(console::SettingsFields(portIndex, port.PortNumber, port));
}

}  // namespace

template <class Build>
void ConsoleReports::Send(std::string_view code, const char* tag, Build build) {
    std::string frame;
    try {
        frame = console::FrameMessage(code, build());
    } catch (const std::exception& e) {
        ctx_.log.LogError(std::string(tag) + e.what());
        return;
    }
    SendConsoleMessage(frame);
}

void ConsoleReports::SendConsoleMessage(std::string_view text) {
    try {
        Socket* console = ctx_.sckConsole.get();
        if (console == nullptr || console->State() != kSocketConnected) {
            return;
        }
        std::string message;
        message.reserve(text.size() + kCrLf.size());
        message.append(text).append(kCrLf);
        console->SendData(message);
    } catch (const std::exception& e) {
        ctx_.log.LogError(std::string("M1S5 ") + e.what());
    }
}

void ConsoleReports::SendPortSettingsReport(int portIndex) {
    Send(console::kCodePortSettings, "M1S7 ",
         [&] { return PortSettingsPayload(portIndex, PortAt(ctx_, portIndex)); });
}

void ConsoleReports::SendConnectionCount(int first) {
    Send(console::kCodeConnectionCount, "M1S13 ", [&] {
        int total = 0;
        for (const PortRecord& port : ctx_.ports) {
            for (int c = 1; c <= port.UpperSlot(); ++c) {
                total += port.Connections[static_cast<std::size_t>(c)].InUse ? 1 : 0;
            }
        }
        return Num(first) + "|" + Num(total);
    });
}

void ConsoleReports::SendPortList() {
    Send(console::kCodePortList, "M1S9 ", [&] {
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

void ConsoleReports::SendConnectionList(int portIndex) {
    Send(console::kCodeConnectionList, "M1S10 ", [&] {
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
    Send(console::kCodeTrace, "M1S11 ", [&] {
        return console::TraceEventPayload(portIndex, PortAt(ctx_, portIndex).PortNumber, kind,
                                          text);
    });
}

void ConsoleReports::SendPortStatistics(int portIndex) {
    Send(console::kCodeStatistics, "M1S6 ", [&] {
        const PortRecord& port = PortAt(ctx_, portIndex);
        std::string payload = Num(portIndex) + "|" + DateTimeText(port.CountersResetTime);
        for (const int32_t counter : port.Counters) {
            payload += "|" + Num(counter);
        }
        return payload;
    });
}

void ConsoleReports::SendVersionReport() {
    Send(console::kCodeVersion, "M1S8 ", [] {
        return console::VersionPayload(TOLVAN_VERSION_MAJOR, TOLVAN_VERSION_MINOR,
                                       TOLVAN_VERSION_REVISION);
    });
}

}  // namespace tolvan
