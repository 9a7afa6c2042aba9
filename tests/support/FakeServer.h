#pragma once

#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "server/bridge/BridgeEvents.h"
#include "server/bridge/Connections.h"
#include "server/bridge/PortControl.h"
#include "server/bridge/ServerContext.h"
#include "server/bridge/SupervisionTimer.h"
#include "server/core/EventLog.h"
#include "settings_store/RegistryStore.h"
#include "tests/support/DefaultPortRecord.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeSerialDevice.h"
#include "tests/support/FakeSocket.h"
#include "tests/support/ListenerRequest.h"
#include "tests/support/RecordingEventLogSink.h"
#include "tests/support/RecordingReports.h"
#include "tests/support/TempFolder.h"

namespace tolvan {

// A server context on fakes with its store in a folder of its own (memory-backed /dev/shm when
// there is one, so a fuzz run's many writes stay cheap); ports are added the way start-up adds
// them. Nothing here touches a real device or the network. Shared by the unit tests and the fuzz
// targets, so it uses no test framework.
class FakeServer {
public:
    FakeServer() {
        ctx.reports = &reports;
        ctx.settings.BaseTCPPort = 5000;
        ctx.PortsReady = true;
        WireBridgeEvents(ctx);
        sockets.Track(ctx.WireSocket);
    }
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    // A port as start-up builds it from a loaded record: slots, its socket (the listener, or the
    // client-mode connection) and its device; not applied yet.
    int AddPort(PortRecord port) {
        const int p = static_cast<int>(ctx.ports.size());
        port.Connections.resize(port.ServiceType == 0 ? port.MaxConnections + 1u : 2u);
        ctx.ports.push_back(std::move(port));
        ctx.sckMain.Create(SocketIndex(p, ctx.ports.back().ServiceType == 0 ? 0 : 1));
        ctx.SerialIO.Create(p);
        return p;
    }
    // A port with the stored defaults, enabled, in server (0) or client (1) mode.
    int AddPort(int comNumber, int serviceType = 0, int maxConnections = 3) {
        return AddPort(
            DefaultPortRecord(comNumber, serviceType, serviceType == 0 ? maxConnections : 1));
    }
    // AddPort and ApplyPortSettings.
    int StartPort(int comNumber, int serviceType = 0, int maxConnections = 3) {
        const int p = AddPort(comNumber, serviceType, maxConnections);
        ApplyPortSettings(ctx, p);
        return p;
    }

    PortRecord& Port(int p) { return ctx.ports.at(static_cast<std::size_t>(p)); }
    ConnectionSlot& Slot(int p, int connNo) {
        return Port(p).Connections.at(static_cast<std::size_t>(connNo));
    }
    bool HasSock(int p, int connNo) const {
        return sockets.byIndex.count(SocketIndex(p, connNo)) != 0;
    }
    FakeSocket& Sock(int p, int connNo) { return sockets.At(SocketIndex(p, connNo)); }
    FakeSocket& Listener(int p) { return Sock(p, 0); }
    FakeSerialDevice& Device(int p) { return static_cast<FakeSerialDevice&>(ctx.SerialIO.Get(p)); }
    std::string Stored(int comNumber, const std::string& name) const {
        return store.RegReadValue(std::string(kServiceKey) + "\\Port" + std::to_string(comNumber),
                                  name);
    }

    // A client asks the port's listener for a connection; returns the slot it got, or 0. Unless
    // given, its address is one no client used before.
    int Connect(int p, std::string from = {}) {
        if (from.empty()) {
            from = "192.0.2." + std::to_string(++clientsMade);
        }
        return RequestConnection(Port(p), Listener(p), from);
    }
    // Connects and gives the password; the greeting is taken from the socket.
    int Login(int p) {
        const int c = Connect(p);
        Sock(p, c).FireDataArrival(Port(p).ConnectPassword + "\r\n");
        Sock(p, c).TakeSent();
        return c;
    }

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

    TempFolder folder{std::filesystem::is_directory("/dev/shm")
                          ? std::filesystem::path("/dev/shm")
                          : std::filesystem::temp_directory_path()};
    std::string storePath = folder.File("registry.reg");
    FakeClock clock;
    RecordingEventLogSink sink;
    EventLog log{sink, clock};
    RegistryStore store{storePath};
    FakeSocketFactory sockets;
    FakeSerialDeviceFactory serials;
    RecordingReports reports;
    ServerContext ctx{clock, log, store, sockets, serials};
    int clientsMade = 0;
};

}  // namespace tolvan
