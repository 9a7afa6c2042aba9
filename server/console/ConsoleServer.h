#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "server/bridge/Socket.h"
#include "server/console/ConsoleClients.h"
#include "server/console/ConsoleReports.h"
#include "server/core/DateTime.h"

namespace tolvan {

struct ServerContext;

// The console: sckConsole listens on 127.0.0.1:BaseTCPPort for the life of the process and
// each connection it offers is served as one of up to ConsoleClients::kMaxClients clients.
// A connection is served only when its peer is a live socket of root or of a member of
// ConsoleGroup; it is checked before anything it sent is read. A connection that is not
// served gets one "DE" report saying why and is closed. While the console exists its reports
// are the context's reports. Starting the listener the first time is left to start-up.
// Binds sckConsole to 127.0.0.1 at the base port and listens, unless it listens already.
void StartConsoleListener(ServerContext& ctx);

class ConsoleServer {
public:
    // Seconds between two binds of the listener after one failed.
    static constexpr int kBindRetrySeconds = 5;

    // Creates sckConsole when the context has none yet.
    explicit ConsoleServer(ServerContext& ctx, DevicePathOf devicePath = {});
    ~ConsoleServer();

    ConsoleServer(const ConsoleServer&) = delete;
    ConsoleServer& operator=(const ConsoleServer&) = delete;

    ConsoleReports& Reports() { return reports_; }
    ConsoleClients& Clients() { return clients_; }

    // The supervision timer's tick. A listener that is not listening (its bind failed, at
    // start or later) is bound again every kBindRetrySeconds; the failure was logged when
    // it began, so retries that fail again are not.
    void OnTimerTick();

private:
    void OnConnectionRequest(const RequestId& request);
    void Refuse(std::unique_ptr<Socket> socket, std::string_view reason, const std::string& text);
    void OnRequest(int client, const std::string& code, const std::string& payload);

    ServerContext& ctx_;
    ConsoleClients clients_;
    ConsoleReports reports_;
    // The last connection turned away; closed already, kept until the next one is.
    std::unique_ptr<Socket> refused_;
    bool bindFailing_ = false;
    DateTime nextBind_ = kZeroDate;
};

}  // namespace tolvan
