#pragma once

#include <cstddef>
#include <string>

#include "console_protocol/Frame.h"
#include "server/bridge/Socket.h"
#include "server/console/ConsoleReports.h"

namespace tolvan {

struct ServerContext;

// The console: handles the events of sckConsole, which is in turn the listener on
// 127.0.0.1:BaseTCPPort and the one connection to a configurator, and dispatches its
// requests. While it exists its reports are the context's reports. Starting the listener
// the first time is left to start-up.
class ConsoleServer {
public:
    // Creates sckConsole when the context has none yet.
    explicit ConsoleServer(ServerContext& ctx);
    ~ConsoleServer();

    ConsoleServer(const ConsoleServer&) = delete;
    ConsoleServer& operator=(const ConsoleServer&) = delete;

    ConsoleReports& Reports() { return reports_; }

    // Ends the console connection, listens again and switches tracing off on every port.
    void RestartConsoleListener();

private:
    void OnConnectionRequest(const RequestId& request);
    void OnDataArrival();
    void OnError(const std::string& description);

    ServerContext& ctx_;
    ConsoleReports reports_;
    console::FrameDecoder decoder_;
};

}  // namespace tolvan
