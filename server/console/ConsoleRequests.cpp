#include "server/console/ConsoleRequests.h"

#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "console_protocol/Frame.h"
#include "console_protocol/Messages.h"
#include "console_protocol/TextForms.h"
#include "server/bridge/Connections.h"
#include "server/bridge/PortAccess.h"
#include "server/bridge/ServerContext.h"
#include "server/console/ConsoleReports.h"
#include "server/console/SettingsUpdate.h"

namespace tolvan {

namespace {

using Fields = std::vector<std::string>;

const std::string& Field(const Fields& fields, std::size_t i, std::string_view code) {
    if (i >= fields.size()) {
        throw std::invalid_argument(std::string(code) + " request without field " +
                                    std::to_string(i));
    }
    return fields[i];
}

int As16Bit(const std::string& text, const char* what) {
    const auto value = console::RoundedInteger(text, -32768, 32767);
    if (!value) {
        throw std::invalid_argument(std::string("invalid ") + what + " '" + text + "'");
    }
    return static_cast<int>(*value);
}

// Field 0 as a port that exists.
int RequestPort(ServerContext& ctx, const Fields& fields, std::string_view code) {
    const int portIndex = As16Bit(Field(fields, 0, code), "port");
    PortAt(ctx, portIndex);
    return portIndex;
}

void Disconnect(ServerContext& ctx, const Fields& fields, std::string_view code) {
    const int portIndex = RequestPort(ctx, fields, code);
    const int connNo = As16Bit(Field(fields, 1, code), "connection number");
    const PortRecord& port = PortAt(ctx, portIndex);
    // Connection 0 is the listener: the console only ends data connections.
    if (connNo < 1 || connNo > port.UpperSlot()) {
        throw std::out_of_range("no connection " + std::to_string(connNo) + " on Serial Port " +
                                Num(port.PortNumber));
    }
    CloseConnection(ctx, portIndex, connNo, CloseReason::Operator);
}

void SwitchTrace(ServerContext& ctx, const Fields& fields, std::string_view code) {
    const std::string& portText = Field(fields, 0, code);
    const double value = console::NumericValue(portText).value_or(0.0);
    const double rounded = console::RoundHalfEven(value);
    if (!(rounded >= 0 && rounded < static_cast<double>(ctx.ports.size()))) {
        throw std::out_of_range("no port with index " + portText);
    }
    PortAt(ctx, static_cast<int>(rounded)).TraceOn = Field(fields, 1, code) == "ON";
}

}  // namespace

void DispatchConsoleRequest(ServerContext& ctx, ConsoleReports& reports, std::string_view code,
                            std::string_view payload) {
    try {
        if (code == console::kCodePortSettings) {
            ApplySettingsUpdate(ctx, reports, payload);
            return;
        }
        const Fields fields = console::SplitFields(payload);
        if (code == console::kCodeSettingsRequest) {
            if (fields.size() == 1) {
                reports.SendPortSettingsReport(As16Bit(fields[0], "port"));
            }
        } else if (code == console::kCodePortList) {
            reports.SendPortList();
            reports.SendConnectionCount(console::kCountAfterPortList);
        } else if (code == console::kCodeConnectionList) {
            reports.SendConnectionList(RequestPort(ctx, fields, code));
        } else if (code == console::kCodeDisconnect) {
            Disconnect(ctx, fields, code);
        } else if (code == console::kCodeStatistics) {
            reports.SendPortStatistics(RequestPort(ctx, fields, code));
        } else if (code == console::kCodeStatisticsReset) {
            const int portIndex = RequestPort(ctx, fields, code);
            ResetCounters(ctx, portIndex);
            reports.SendPortStatistics(portIndex);
        } else if (code == console::kCodeTrace) {
            SwitchTrace(ctx, fields, code);
        } else if (code == console::kCodeVersion) {
            reports.SendVersionReport();
        }
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M1S4 ") + e.what());
    }
}

void ResetCounters(ServerContext& ctx, int portIndex) {
    try {
        PortRecord& port = PortAt(ctx, portIndex);
        port.Counters.fill(0);
        port.CountersResetTime = ctx.clock.NowLocal();
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M2S15 ") + e.what());
    }
}

}  // namespace tolvan
