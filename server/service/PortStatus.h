#pragma once

#include <string>

#include "server/console/ConsoleReports.h"

namespace tolvan {

struct ServerContext;

// What port portIndex does now, as one line for the log: "COM1 (/dev/ttyUSB0) listening on
// 0.0.0.0:5001 and [::]:5001", "... connects to 10.0.0.5:4001 (client mode)", "... is
// disabled", "... is out of service: could not open the serial device: ...".
std::string PortStatusText(ServerContext& ctx, int portIndex, const DevicePathOf& devicePath);

// One information event with that line.
void LogPortStatus(ServerContext& ctx, int portIndex, const DevicePathOf& devicePath);

}  // namespace tolvan
