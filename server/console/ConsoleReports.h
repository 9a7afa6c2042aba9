#pragma once

#include <string>
#include <string_view>

#include "server/bridge/Reports.h"

namespace tolvan {

struct ServerContext;

// The reports sent to a connected configurator. Each one is built completely from the live
// port state first; a report that cannot be built is logged under its own tag and not sent.
// Without a console connection every report is dropped silently.
class ConsoleReports final : public Reports {
public:
    explicit ConsoleReports(ServerContext& ctx) : ctx_(ctx) {}

    void SendPortSettingsReport(int portIndex) override;
    void SendConnectionCount(int first) override;
    void SendPortList() override;
    void SendConnectionList(int portIndex) override;
    void SendTraceEvent(int portIndex, int kind, std::string_view text) override;
    void SendPortStatistics(int portIndex);
    void SendVersionReport();

    // Writes a framed message and CR LF while the console is connected; drops it otherwise.
    void SendConsoleMessage(std::string_view text);

private:
    // Frames and sends a payload, or logs tag + the error when building it failed.
    template <class Build>
    void Send(std::string_view code, const char* tag, Build build);

    ServerContext& ctx_;
};

}  // namespace tolvan
