#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "server/bridge/BridgeEvents.h"
#include "server/bridge/ServerContext.h"
#include "server/core/EventLog.h"
#include "settings_store/RegistryStore.h"
#include "tests/support/DefaultPortRecord.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeSerialDevice.h"
#include "tests/support/FakeSocket.h"
#include "tests/support/RecordingEventLogSink.h"

namespace tolvan::fuzz {

// Where a fuzz run keeps its store: a folder of its own in memory-backed /dev/shm when there
// is one, so the many writes stay cheap.
inline std::string StoreFolder() {
    const std::filesystem::path base =
        std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    const std::filesystem::path folder = base / ("tolvan-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    return folder.string();
}

// A server context on the test fakes with a store file that starts empty for every input.
// Nothing here touches a real device or the network.
class FakeServer {
public:
    explicit FakeServer(const std::string& storeFolder)
        : storePath(storeFolder + "/registry.reg"), store(storePath) {
        std::filesystem::remove(storePath);
        ctx.settings.BaseTCPPort = 5000;
        ctx.PortsReady = true;
        WireBridgeEvents(ctx);
        sockets.Track(ctx.WireSocket);
    }

    // A port as start-up builds it from a loaded record: slots, sockets, device; not applied.
    int AddPort(PortRecord port) {
        const int p = static_cast<int>(ctx.ports.size());
        port.Connections.resize(port.ServiceType == 0 ? port.MaxConnections + 1u : 2u);
        ctx.ports.push_back(std::move(port));
        ctx.sckMain.Create(SocketIndex(p, ctx.ports.back().ServiceType == 0 ? 0 : 1));
        ctx.SerialIO.Create(p);
        return p;
    }

    // The record a fresh store gives, enabled, with the password given.
    static PortRecord DefaultPort(int comNumber, int serviceType, const std::string& password) {
        PortRecord port = DefaultPortRecord(comNumber, serviceType, serviceType == 0 ? 3 : 1);
        port.ConnectPassword = password;
        return port;
    }

    FakeSocket& Sock(int p, int connNo) { return sockets.At(SocketIndex(p, connNo)); }
    FakeSerialDevice& Device(int p) { return static_cast<FakeSerialDevice&>(ctx.SerialIO.Get(p)); }

    // Every port keeps the shape the rest of the server relies on.
    void CheckPorts() const {
        for (const PortRecord& port : ctx.ports) {
            Require(port.MaxConnections <= kMaxSlotsPerPort);
            Require(port.UpperSlot() <= kMaxSlotsPerPort);
            for (int c = 1; c <= port.UpperSlot(); ++c) {
                const ConnectionSlot& slot = port.Connections[static_cast<std::size_t>(c)];
                Require(slot.Authenticated == 0 || slot.Authenticated == 1);
            }
        }
    }

    // A broken invariant is a finding: stop here so the fuzzer keeps the input.
    static void Require(bool holds) {
        if (!holds) {
            std::abort();
        }
    }

    std::string storePath;  // before the store, which is made from it
    FakeClock clock;
    RecordingEventLogSink sink;
    EventLog log{sink, clock};
    RegistryStore store;
    FakeSocketFactory sockets;
    FakeSerialDeviceFactory serials;
    ServerContext ctx{clock, log, store, sockets, serials};
};

}  // namespace tolvan::fuzz
