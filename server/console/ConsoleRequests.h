#pragma once

#include <string_view>

namespace tolvan {

struct ServerContext;
class ConsoleReports;

// Carries out one request from the configurator. Errors end the request and are logged with
// "M1S4 "; nothing is answered then.
void DispatchConsoleRequest(ServerContext& ctx, ConsoleReports& reports, std::string_view code,
                            std::string_view payload);

// Clears the port's ten counters and restarts their reset time at the local now.
void ResetCounters(ServerContext& ctx, int portIndex);

}  // namespace tolvan
