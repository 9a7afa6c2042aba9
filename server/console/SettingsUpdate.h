#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tolvan {

struct ServerContext;
struct PortRecord;
class ConsoleReports;

// The stored settings a port settings update carries, converted and checked.
struct PortSettingsUpdate {
    int PortIndex = 0;
    bool Enabled = false;
    bool AcceptInput = false;
    uint8_t MaxConnections = 0;
    uint8_t PortNumber = 0;
    bool DTREnable = false;
    bool RTSEnable = false;
    int16_t InBufferSize = 0;
    int16_t OutBufferSize = 0;
    std::string Settings;
    int32_t Handshaking = 0;
    int16_t MaxPasswordAttemps = 0;
    int32_t BadPasswordShutdownLength = 0;
    int32_t MaxIdleTime = 0;
    std::string ConnectPassword;
    std::string LogFile;
    bool AllwaysConnected = false;
    std::string RemoteIP;
    int32_t RemotePort = 0;
    bool ServerMode = true;
    std::string PortDescription;
};

// Converts the 22 fields of an update for `port` (the record field 0 names). Throws
// std::invalid_argument naming the first field that cannot be taken; nothing is changed.
PortSettingsUpdate ParseSettingsUpdate(const std::vector<std::string>& fields,
                                       const PortRecord& port);

// The port settings update: checks every field, then stores them, switches between server
// and client mode, fits the connection slots, re-applies and saves the port. The port's
// settings report and connection list follow whenever the port exists, so the configurator
// sees the state that resulted, also after an update that was refused.
void ApplySettingsUpdate(ServerContext& ctx, ConsoleReports& reports, std::string_view payload);

}  // namespace tolvan
