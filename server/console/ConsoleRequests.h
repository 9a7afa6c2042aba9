#pragma once

#include <string_view>

namespace tolvan {

struct ServerContext;
class ConsoleClients;
class ConsoleReports;

// Carries out one request of console client `client`. Answers go to that client alone; a
// settings update is reported to every client, so that all of them show the port as it is
// now. Trace switches change the client's own trace of the port. Errors end the request and
// are logged with "M1S4 "; nothing is answered then.
void DispatchConsoleRequest(ServerContext& ctx, ConsoleReports& reports, ConsoleClients& clients,
                            int client, std::string_view code, std::string_view payload);

// Clears the port's ten counters and restarts their reset time at the local now.
void ResetCounters(ServerContext& ctx, int portIndex);

}  // namespace tolvan
