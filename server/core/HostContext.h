#pragma once

#include "server/core/Clock.h"
#include "server/core/EventLog.h"
#include "server/core/LogFile.h"
#include "server/core/PortRecord.h"
#include "settings_store/RegistryStore.h"

namespace tolvan {

// Global settings read from "Settings" at start.
struct GlobalSettings {
    int BaseTCPPort = 5000;
    int IdleTimeCheckInterval = 60;
    int ListeningPortCheckInterval = 60;
    int ConstantConnectClientCheckInterval = 30;
    // The only folder traffic log files may be written to; set by editing the store only.
    std::string LogDirectory = kDefaultLogDirectory;
};

// What the host part of the server owns: its clock, event log, store, settings and ports.
struct HostContext {
    HostContext(const Clock& clockIn, EventLog& logIn, RegistryStore& storeIn)
        : clock(clockIn), log(logIn), store(storeIn) {}

    HostContext(const HostContext&) = delete;
    HostContext& operator=(const HostContext&) = delete;

    const Clock& clock;
    EventLog& log;
    RegistryStore& store;

    GlobalSettings settings;
    bool ServiceStarted = false;
    bool PortsReady = false;
    Ports ports;
};

}  // namespace tolvan
