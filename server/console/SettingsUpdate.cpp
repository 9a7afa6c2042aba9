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

// Field names as the settings are stored, for the error texts.
constexpr const char* kFieldNames[console::kSettingsFieldCount] = {"port",
                                                                   "Enabled",
                                                                   "AcceptInput",
                                                                   "MaxConnections",
                                                                   "PortNumber",
                                                                   "DTREnable",
                                                                   "RTSEnable",
                                                                   "InBufferSize",
                                                                   "OutBufferSize",
                                                                   "baud rate",
                                                                   "line format",
                                                                   "Handshaking",
                                                                   "MaxPasswordAttemps",
                                                                   "BadPasswordShutdownLength",
                                                                   "MaxIdleTime",
                                                                   "ConnectPassword",
                                                                   "LogFile",
                                                                   "AllwaysConnected",
                                                                   "RemoteIP",
                                                                   "RemotePort",
                                                                   "ServiceType",
                                                                   "PortDescription"};

enum Field : std::size_t {
    kPort = 0,
    kEnabled,
    kAcceptInput,
    kMaxConnections,
    kPortNumber,
    kDTREnable,
    kRTSEnable,
    kInBufferSize,
    kOutBufferSize,
    kBaudRate,
    kLineFormat,
    kHandshaking,
    kMaxPasswordAttemps,
    kBadPasswordShutdownLength,
    kMaxIdleTime,
    kConnectPassword,
    kLogFile,
    kAllwaysConnected,
    kRemoteIP,
    kRemotePort,
    kServiceType,
    kPortDescription,
};

class FieldReader {
public:
    explicit FieldReader(const std::vector<std::string>& fields) : fields_(fields) {}

    const std::string& Text(Field f) const { return fields_[f]; }

    bool Boolean(Field f) const {
        if (const std::optional<bool> value = console::ParseBooleanField(Text(f))) {
            return *value;
        }
        throw Invalid(f);
    }

    long long Integer(Field f, long long min, long long max) const {
        if (const auto value = console::RoundedInteger(Text(f), min, max)) {
            return *value;
        }
        throw Invalid(f);
    }

    std::invalid_argument Invalid(Field f, const std::string& why = {}) const {
        std::string text =
            std::string("invalid ") + kFieldNames[f] + " '" + EscapeForeignText(Text(f)) + "'";
        if (!why.empty()) {
            text += ": " + why;
        }
        return std::invalid_argument(text);
    }

private:
    const std::vector<std::string>& fields_;
};

constexpr long long kInt16Min = -32768;
constexpr long long kInt16Max = 32767;
constexpr long long kInt32Min = -2147483648LL;
constexpr long long kInt32Max = 2147483647LL;
constexpr long long kUInt8Max = 255;

// Field 0 as the index of a port that exists.
int UpdatePort(ServerContext& ctx, const std::vector<std::string>& fields) {
    if (fields.empty()) {
        throw std::invalid_argument("port settings update without a port");
    }
    const auto value = console::RoundedInteger(fields[kPort], kInt16Min, kInt16Max);
    if (!value) {
        throw std::invalid_argument("invalid port '" + EscapeForeignText(fields[kPort]) + "'");
    }
    const int portIndex = static_cast<int>(*value);
    PortAt(ctx, portIndex);
    return portIndex;
}

void Store(PortRecord& port, const PortSettingsUpdate& update) {
    port.Enabled = update.Enabled;
    port.AcceptInput = update.AcceptInput;
    port.MaxConnections = update.MaxConnections;
    port.PortNumber = update.PortNumber;
    port.DTREnable = update.DTREnable;
    port.RTSEnable = update.RTSEnable;
    port.InBufferSize = update.InBufferSize;
    port.OutBufferSize = update.OutBufferSize;
    port.Settings = update.Settings;
    port.Handshaking = update.Handshaking;
    port.MaxPasswordAttemps = update.MaxPasswordAttemps;
    port.BadPasswordShutdownLength = update.BadPasswordShutdownLength;
    port.MaxIdleTime = update.MaxIdleTime;
    port.ConnectPassword = update.ConnectPassword;
    port.LogFile = update.LogFile;
    port.AllwaysConnected = update.AllwaysConnected;
    port.RemoteIP = update.RemoteIP;
    port.RemotePort = update.RemotePort;
    port.PortDescription = update.PortDescription;
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
            IgnoringErrors([&] { CloseConnection(ctx, portIndex, c); });
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
            CloseConnection(ctx, portIndex, c);
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

PortSettingsUpdate ParseSettingsUpdate(const std::vector<std::string>& fields,
                                       const PortRecord& port) {
    if (fields.size() != static_cast<std::size_t>(console::kSettingsFieldCount)) {
        throw std::invalid_argument("port settings update with " + Num(fields.size()) + " fields");
    }
    const FieldReader read(fields);
    PortSettingsUpdate update;
    update.PortIndex = static_cast<int>(read.Integer(kPort, kInt16Min, kInt16Max));
    update.Enabled = read.Boolean(kEnabled);
    update.AcceptInput = read.Boolean(kAcceptInput);
    const long long maxConnections = read.Integer(kMaxConnections, 0, kUInt8Max);
    if (maxConnections > kMaxSlotsPerPort) {
        throw read.Invalid(kMaxConnections, "at most " + Num(kMaxSlotsPerPort));
    }
    update.MaxConnections = static_cast<uint8_t>(maxConnections);
    const long long portNumber = read.Integer(kPortNumber, 0, kUInt8Max);
    // The COM number is the port's identity: its store key and its TCP port follow from it.
    if (portNumber != port.PortNumber) {
        throw read.Invalid(kPortNumber, "the port is COM" + Num(port.PortNumber));
    }
    update.PortNumber = static_cast<uint8_t>(portNumber);
    update.DTREnable = read.Boolean(kDTREnable);
    update.RTSEnable = read.Boolean(kRTSEnable);
    update.InBufferSize = static_cast<int16_t>(read.Integer(kInBufferSize, kInt16Min, kInt16Max));
    update.OutBufferSize = static_cast<int16_t>(read.Integer(kOutBufferSize, kInt16Min, kInt16Max));
    update.Settings = read.Text(kBaudRate) + "," + read.Text(kLineFormat);
    update.Handshaking = static_cast<int32_t>(read.Integer(kHandshaking, 0, kUInt8Max));
    update.MaxPasswordAttemps =
        static_cast<int16_t>(read.Integer(kMaxPasswordAttemps, 0, kUInt8Max));
    update.BadPasswordShutdownLength =
        static_cast<int32_t>(read.Integer(kBadPasswordShutdownLength, kInt16Min, kInt16Max));
    update.MaxIdleTime = static_cast<int32_t>(read.Integer(kMaxIdleTime, kInt32Min, kInt32Max));
    update.ConnectPassword = read.Text(kConnectPassword);
    update.LogFile = read.Text(kLogFile);
    update.AllwaysConnected = read.Boolean(kAllwaysConnected);
    update.RemoteIP = read.Text(kRemoteIP);
    update.RemotePort = static_cast<int32_t>(read.Integer(kRemotePort, kInt32Min, kInt32Max));
    std::string mode = read.Text(kServiceType);
    std::transform(mode.begin(), mode.end(), mode.begin(), [](char c) {
        return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    });
    update.ServerMode = mode == "SERVER";
    update.PortDescription = read.Text(kPortDescription);
    return update;
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
            const PortSettingsUpdate update = ParseSettingsUpdate(fields, PortAt(ctx, portIndex));
            CheckLogFile(ctx, update.LogFile);
            PortRecord& port = PortAt(ctx, portIndex);
            Store(port, update);
            if (update.ServerMode) {
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
            SavePortSettings(ctx, portIndex);
        } catch (const std::exception& e) {
            ctx.log.LogError(std::string("M1S4 ") + e.what());
        }
    }
    reports.SendPortSettingsReport(portIndex);
    reports.SendConnectionList(portIndex);
}

}  // namespace tolvan
