#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "console_protocol/PortSettingsTable.h"

namespace tolvan {

struct ServerContext;
struct PortRecord;
class ConsoleReports;

// The port's settings as the fields of an update for `port` (the record field 0 names) would
// make them. Throws std::invalid_argument naming the first field that cannot be taken.
console::PortSettingValues ParseSettingsUpdate(const std::vector<std::string>& fields,
                                               const PortRecord& port);

// Puts new settings into force on port portIndex as an update does, without saving them:
// switches between server and client mode, fits the connection slots and re-applies the port.
// Connections the new settings still allow stay open.
void ChangePortSettings(ServerContext& ctx, int portIndex,
                        const console::PortSettingValues& update);

// The port settings update: checks every field, then stores them, switches between server
// and client mode, fits the connection slots, re-applies and saves the port. The port's
// settings report and connection list follow whenever the port exists, so the configurator
// sees the state that resulted, also after an update that was refused.
void ApplySettingsUpdate(ServerContext& ctx, ConsoleReports& reports, std::string_view payload);

}  // namespace tolvan
