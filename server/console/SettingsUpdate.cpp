#include "server/console/SettingsUpdate.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <stdexcept>

#include "console_protocol/Frame.h"
#include "console_protocol/Messages.h"
#include "console_protocol/TextForms.h"
#include "server/bridge/Connections.h"
#include "server/bridge/PortAccess.h"
#include "server/bridge/PortControl.h"
#include "server/bridge/ServerContext.h"
#include "server/console/ConsoleReports.h"
#include "server/core/ForeignText.h"
#include "server/core/LogFile.h"
#include "server/core/PortSettings.h"

namespace tolvan {

namespace {

constexpr long long kInt16Min = -32768;
constexpr long long kInt16Max = 32767;

// Field 0 as the index of a port that exists.
int UpdatePort(ServerContext& ctx, const std::vector<std::string>& fields) {
    if (fields.empty()) {
        throw std::invalid_argument("port settings update without a port");
    }
    const auto value = console::RoundedInteger(fields[console::kFieldPort], kInt16Min, kInt16Max);
    if (!value) {
        throw std::invalid_argument("invalid port '" +
                                    EscapeForeignText(fields[console::kFieldPort]) + "'");
    }
    const int portIndex = static_cast<int>(*value);
    PortAt(ctx, portIndex);
    return portIndex;
}

template <class Action>
void IgnoringErrors(Action action) {
    try {
        action();
    } catch (const std::exception&) {
        // Taking the old mode down goes on with its next step.
    }
}

void SwitchToClientMode(ServerContext& ctx, int portIndex) {
    PortRecord& port = PortAt(ctx, portIndex);
    for (int c = 1; c <= port.UpperSlot(); ++c) {
        if (port.Connections[static_cast<std::size_t>(c)].InUse) {
            IgnoringErrors([&] { CloseConnection(ctx, portIndex, c, CloseReason::PortClosed); });
        }
    }
    IgnoringErrors([&] { ListenerOf(ctx, portIndex).Close(); });
    IgnoringErrors([&] { ctx.sckMain.Destroy(SocketIndex(portIndex, 0)); });
    port.ServiceType = 1;
    if (port.AllwaysConnected) {
        port.MaxIdleTime = 0;
    }
    // Slot 1's element may be left from a data connection of server mode; it is closed.
    ctx.sckMain.Ensure(SocketIndex(portIndex, 1));
}

void SwitchToServerMode(ServerContext& ctx, int portIndex) {
    PortRecord& port = PortAt(ctx, portIndex);
    if (port.ServiceType != 0) {
        IgnoringErrors([&] { CloseConnection(ctx, portIndex, 1); });
        IgnoringErrors([&] { ctx.sckMain.Destroy(SocketIndex(portIndex, 1)); });
        ctx.sckMain.Ensure(SocketIndex(portIndex, 0));
        port.ServiceType = 0;
    }
    // Closed here so that re-applying the port listens afresh with the new settings.
    IgnoringErrors([&] { ctx.sckMain.Ensure(SocketIndex(portIndex, 0)).Close(); });
}

// Restarts the idle deadlines, then closes the connections beyond MaxConnections and fits
// the slots to it.
void FitConnections(ServerContext& ctx, int portIndex) {
    PortRecord& port = PortAt(ctx, portIndex);
    const DateTime idleExpires = ctx.clock.NowUtc() + Minutes(port.MaxIdleTime);
    for (int c = 1; c <= port.UpperSlot(); ++c) {
        ConnectionSlot& slot = port.Connections[static_cast<std::size_t>(c)];
        if (slot.InUse) {
            slot.IdleExpires = idleExpires;
        }
    }
    for (int c = port.MaxConnections + 1; c <= port.UpperSlot(); ++c) {
        if (port.Connections[static_cast<std::size_t>(c)].InUse) {
            CloseConnection(ctx, portIndex, c, CloseReason::PortClosed);
        }
    }
    port.Connections.resize(static_cast<std::size_t>(port.MaxConnections) + 1);
}

// A log file outside the log folder refuses the whole update: the console must not make the
// service write where it likes.
void CheckLogFile(const ServerContext& ctx, const std::string& logFile) {
    const LogFilePlace place = PlaceLogFile(ctx.settings.LogDirectory, logFile);
    if (!place.beneath && !place.why.empty()) {
        throw std::invalid_argument("invalid LogFile '" + EscapeForeignText(logFile) +
                                    "': " + EscapeForeignText(place.why));
    }
}

}  // namespace

console::PortSettingValues ParseSettingsUpdate(const std::vector<std::string>& fields,
                                               const PortRecord& port) {
    console::PortSettingValues update = port;
    if (const auto problem = console::ParseSettingsFields(fields, update)) {
        throw std::invalid_argument(EscapeForeignText(*problem));
    }
    // The COM number is the port's identity: its store key and its TCP port follow from it.
    const auto portNumber =
        console::RoundedInteger(fields[console::kFieldPortNumber], kInt16Min, kInt16Max);
    if (portNumber != port.PortNumber) {
        throw std::invalid_argument("invalid PortNumber '" +
                                    EscapeForeignText(fields[console::kFieldPortNumber]) +
                                    "': the port is COM" + Num(port.PortNumber));
    }
    return update;
}

void ChangePortSettings(ServerContext& ctx, int portIndex,
                        const console::PortSettingValues& update) {
    PortRecord& port = PortAt(ctx, portIndex);
    const bool serverMode = update.ServiceType == 0;
    // The mode switch below compares against the mode in force.
    const int32_t modeInForce = port.ServiceType;
    static_cast<console::PortSettingValues&>(port) = update;
    port.ServiceType = modeInForce;
    if (serverMode) {
        SwitchToServerMode(ctx, portIndex);
    } else {
        if (port.ServiceType == 0) {
            SwitchToClientMode(ctx, portIndex);
        }
        // A client-mode port has exactly one connection, slot 1.
        port.MaxConnections = 1;
    }
    FitConnections(ctx, portIndex);
    ApplyPortSettings(ctx, portIndex);
}

void ApplySettingsUpdate(ServerContext& ctx, ConsoleReports& reports, std::string_view payload) {
    const std::vector<std::string> fields =
        console::SplitFields(payload, console::kSettingsFieldCount);
    int portIndex = 0;
    try {
        portIndex = UpdatePort(ctx, fields);
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M1S4 ") + e.what());
        return;
    }
    // A malformed update changes nothing and is only answered.
    if (fields.size() == static_cast<std::size_t>(console::kSettingsFieldCount)) {
        try {
            const console::PortSettingValues update =
                ParseSettingsUpdate(fields, PortAt(ctx, portIndex));
            CheckLogFile(ctx, update.LogFile);
            ChangePortSettings(ctx, portIndex, update);
            SavePortSettings(ctx, portIndex);
        } catch (const std::exception& e) {
            ctx.log.LogError(std::string("M1S4 ") + e.what());
        }
    }
    reports.SendPortSettingsReport(portIndex);
    reports.SendConnectionList(portIndex);
}

}  // namespace tolvan
