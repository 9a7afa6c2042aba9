#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "console_protocol/Frame.h"
#include "server/bridge/BridgeEvents.h"
#include "server/bridge/PortControl.h"
#include "server/bridge/ServerContext.h"
#include "server/console/ConsoleServer.h"
#include "server/core/EventLog.h"
#include "settings_store/RegistryStore.h"
#include "tests/settings_store/TempFolder.h"
#include "tests/support/DefaultPortRecord.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeSerialDevice.h"
#include "tests/support/FakeSocket.h"
#include "tests/support/ListenerRequest.h"
#include "tests/support/RecordingEventLogSink.h"

namespace tolvan {

// A server context on fakes with the console attached and listening, and a store in a
// temporary folder.
class ConsoleFixture : public ::testing::Test {
protected:
    ConsoleFixture() {
        ctx.settings.BaseTCPPort = 5000;
        ctx.PortsReady = true;
        WireBridgeEvents(ctx);
        sockets.Track(ctx.WireSocket);
        auto socket = std::make_unique<FakeSocket>();
        console = socket.get();
        ctx.sckConsole = std::move(socket);
        server = std::make_unique<ConsoleServer>(ctx);
        console->Bind(5000, "127.0.0.1");
        console->Listen();
        console->calls.clear();
    }

    // A started port with the stored defaults, in server (0) or client (1) mode.
    int AddPort(int comNumber, int serviceType = 0, int maxConnections = 3) {
        PortRecord port =
            DefaultPortRecord(comNumber, serviceType, serviceType == 0 ? maxConnections : 1);
        port.Connections.resize(static_cast<std::size_t>(port.MaxConnections) + 1);
        const int p = static_cast<int>(ctx.ports.size());
        ctx.ports.push_back(port);
        ctx.sckMain.Create(SocketIndex(p, serviceType == 0 ? 0 : 1));
        ctx.SerialIO.Create(p);
        ApplyPortSettings(ctx, p);
        return p;
    }

    // The console accepts a configurator.
    void ConnectConsole() {
        console->FireConnectionRequest();
        console->calls.clear();
    }

    void Request(std::string_view code, std::string_view payload = {}) {
        console->FireDataArrival(console::FrameMessage(code, payload) + "\r\n");
    }

    // The frames sent to the configurator since the last call; each must end in CR LF.
    std::vector<console::Frame> Answers() {
        const std::string sent = console->TakeSent();
        console::FrameDecoder decoder;
        decoder.Append(sent);
        std::vector<console::Frame> frames;
        std::size_t expected = 0;
        while (auto frame = decoder.Next()) {
            expected += console::FrameMessage(frame->code, frame->payload).size() + 2;
            frames.push_back(std::move(*frame));
        }
        EXPECT_EQ(expected, sent.size()) << "stray bytes in: " << sent;
        EXPECT_TRUE(sent.empty() || sent.ends_with("\r\n"));
        return frames;
    }

    // A client asks the port's listener for a connection; returns the slot it got, or 0.
    int ConnectClient(int p, const std::string& from = "127.0.0.1") {
        return RequestConnection(Port(p), Listener(p), from);
    }

    PortRecord& Port(int p) { return ctx.ports.at(static_cast<std::size_t>(p)); }
    ConnectionSlot& Slot(int p, int connNo) {
        return Port(p).Connections.at(static_cast<std::size_t>(connNo));
    }
    FakeSocket& Sock(int p, int connNo) { return sockets.At(SocketIndex(p, connNo)); }
    FakeSocket& Listener(int p) { return Sock(p, 0); }
    std::string Stored(int comNumber, const std::string& name) const {
        return store.RegReadValue(std::string(kServiceKey) + "\\Port" + std::to_string(comNumber),
                                  name);
    }

    TempFolder folder;
    FakeClock clock;
    RecordingEventLogSink sink;
    EventLog log{sink, clock};
    RegistryStore store{folder.File("registry.reg")};
    FakeSocketFactory sockets;
    FakeSerialDeviceFactory serials;
    ServerContext ctx{clock, log, store, sockets, serials};
    FakeSocket* console = nullptr;
    std::unique_ptr<ConsoleServer> server;
};

}  // namespace tolvan
