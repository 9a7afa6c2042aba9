#pragma once

#include <QTimer>
#include <memory>
#include <string>

#include "server/bridge/ServerContext.h"
#include "server/console/ConsoleServer.h"
#include "server/core/Clock.h"
#include "server/core/EventLog.h"
#include "server/platform/QtSocketFactory.h"
#include "server/platform/TermiosSerialDeviceFactory.h"
#include "server/service/CommandLine.h"
#include "server/service/EventLogSinks.h"
#include "server/service/PortStatus.h"
#include "server/service/ServiceHost.h"
#include "settings_store/RegistryStore.h"

namespace tolvan {

// Where a run's files are; read from the environment by main.
struct ServerEnvironment {
    std::string registryPath = "/etc/tolvan/registry.reg";  // TOLVAN_REGISTRY
    std::string eventLogPath;                               // TOLVAN_EVENTLOG, empty: none
    std::string executablePath;                             // the running executable
    bool startedByServiceManager = false;

    static ServerEnvironment FromProcess();
};

// The server process: owns the event log, the store, the devices, the context and the service
// host, and takes them from the command line through start-up to the stop sequence.
class ServerApp {
public:
    ServerApp(CommandAction action, ServerEnvironment environment);
    ~ServerApp();

    ServerApp(const ServerApp&) = delete;
    ServerApp& operator=(const ServerApp&) = delete;

    // Runs the program and answers its exit status. Needs a QCoreApplication.
    int Run();

private:
    int RunInstall();
    int RunUninstall();
    int RunService();
    void OnStart();
    void OnStop();
    void OnReload();
    DevicePathOf DevicePaths() const;
    void StartConsole();
    void ReadSettings();

    CommandAction action_;
    ServerEnvironment environment_;
    SystemClock clock_;
    FanOutEventLogSink sink_;
    EventLog log_;
    RegistryStore store_;
    QtSocketFactory sockets_;
    TermiosSerialDeviceFactory serials_;
    ServerContext ctx_;
    std::unique_ptr<ConsoleServer> console_;  // destroyed before ctx_
    ServiceHost host_;
    QTimer timer_;
    bool stopRequested_ = false;
};

}  // namespace tolvan
