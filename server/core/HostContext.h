#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

#include "server/core/Clock.h"
#include "server/core/EventLog.h"
#include "server/core/LogFile.h"
#include "server/core/PortRecord.h"
#include "settings_store/RegistryStore.h"

namespace tolvan {

// How much unread output the server holds for its clients. Not stored: fixed in the product,
// made small by tests. The hard limit lets a client reading at 10 MB/s take a 32 MiB burst
// that a fast line delivers in a fraction of a second.
struct OutputLimits {
    std::size_t Soft = 1024UL * 1024;         // a queue above it for StallSeconds is closed
    std::size_t Hard = 32UL * 1024 * 1024;    // a queue reaching it is closed at once
    std::size_t Total = 128UL * 1024 * 1024;  // all queues together; the largest goes first

    bool operator==(const OutputLimits&) const = default;
};

// Global settings read from "Settings" at start and again on SIGHUP.
struct GlobalSettings {
    int BaseTCPPort = 5000;
    int IdleTimeCheckInterval = 60;
    int ListeningPortCheckInterval = 60;
    int ConstantConnectClientCheckInterval = 30;
    // Seconds a client may stay above the soft limit of unread output before it is closed.
    int StallSeconds = 10;
    OutputLimits Output;
    // The only folder traffic log files may be written to; set by editing the store only.
    std::string LogDirectory = kDefaultLogDirectory;
    // Where the data listeners take connections; empty: every address, IPv4 and IPv6.
    std::string ListenAddress;
    // Besides root, the members of this group may use the console.
    std::string ConsoleGroup = "tolvan";

    bool operator==(const GlobalSettings&) const = default;
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

inline bool HasPort(const HostContext& context, int portIndex) {
    return portIndex >= 0 && static_cast<std::size_t>(portIndex) < context.ports.size();
}

// Throws for an index without a port, so the calling operation logs it under its own tag.
inline PortRecord& PortAt(HostContext& context, int portIndex) {
    if (!HasPort(context, portIndex)) {
        throw std::out_of_range("no port with index " + std::to_string(portIndex));
    }
    return context.ports[static_cast<std::size_t>(portIndex)];
}

inline const PortRecord& PortAt(const HostContext& context, int portIndex) {
    return PortAt(const_cast<HostContext&>(context), portIndex);
}

}  // namespace tolvan
