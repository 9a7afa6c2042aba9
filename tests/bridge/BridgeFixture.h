#pragma once

#include <gtest/gtest.h>

#include <string>

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

namespace tolvan {

// A server context on fakes, with ports added the way start-up adds them.
class BridgeFixture : public ::testing::Test {
protected:
    BridgeFixture() {
        ctx.reports = &reports;
        ctx.settings.BaseTCPPort = 5000;
        ctx.PortsReady = true;
        WireBridgeEvents(ctx);
        sockets.Track(ctx.WireSocket);
    }

    // A port with the stored defaults, enabled; its slots, sockets and device are created
    // but not applied yet.
    int AddPort(int comNumber, int serviceType = 0, int maxConnections = 3) {
        PortRecord port = DefaultPortRecord(comNumber, serviceType, maxConnections);
        port.Connections.resize(serviceType == 0 ? maxConnections + 1 : 2);
        const int p = static_cast<int>(ctx.ports.size());
        ctx.ports.push_back(port);
        ctx.sckMain.Create(SocketIndex(p, 0));
        if (serviceType != 0) {
            ctx.sckMain.Create(SocketIndex(p, 1));
        }
        ctx.SerialIO.Create(p);
        return p;
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
    FakeSocket& Sock(int p, int connNo) { return sockets.At(SocketIndex(p, connNo)); }
    FakeSocket& Listener(int p) { return Sock(p, 0); }
    FakeSerialDevice& Device(int p) { return static_cast<FakeSerialDevice&>(ctx.SerialIO.Get(p)); }

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

    FakeClock clock;
    RecordingEventLogSink sink;
    EventLog log{sink, clock};
    RegistryStore store{"/nonexistent/tolvan-bridge-test.reg"};
    FakeSocketFactory sockets;
    FakeSerialDeviceFactory serials;
    ServerContext ctx{clock, log, store, sockets, serials};
    RecordingReports reports;
    int clientsMade = 0;
};

}  // namespace tolvan
