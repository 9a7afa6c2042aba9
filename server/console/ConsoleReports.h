#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "server/bridge/Reports.h"

namespace tolvan {

struct ServerContext;
class ConsoleClients;

// The device path of COM n, for the port state report.
using DevicePathOf = std::function<std::string(int comNumber)>;

// The reports sent to the console clients. Each one is built completely from the live port
// state first; a report that cannot be built is logged under its own tag and not sent.
//
// A report that answers a request goes to the client that asked (`client`); the reports the
// bridge sends on its own (the Reports interface) go to every client, trace events to the
// clients that trace the port (or to every client while nobody does). Without a client every
// report is dropped silently.
class ConsoleReports final : public Reports {
public:
    ConsoleReports(ServerContext& ctx, ConsoleClients& clients, DevicePathOf devicePath);

    void SendPortSettingsReport(int portIndex) override;
    void SendConnectionCount(int first) override;
    void SendPortList() override;
    void SendConnectionList(int portIndex) override;
    void SendTraceEvent(int portIndex, int kind, std::string_view text) override;

    void SendPortSettingsReport(int portIndex, int client);
    void SendConnectionCount(int first, int client);
    void SendPortList(int client);
    void SendConnectionList(int portIndex, int client);
    void SendPortStatistics(int portIndex, int client);
    void SendVersionReport(int client);
    // "DC": how the port is doing now (listening, locked out, connected, failed, ...).
    void SendPortState(int portIndex, int client);

private:
    // Frames and sends a payload, or logs tag + the error when building it failed.
    template <class Build>
    void Send(std::string_view code, const char* tag, int client, Build build);

    ServerContext& ctx_;
    ConsoleClients& clients_;
    DevicePathOf devicePath_;
};

}  // namespace tolvan
