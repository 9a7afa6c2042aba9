#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "server/bridge/ServerContext.h"
#include "server/core/EventLog.h"
#include "server/service/StartUp.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeSerialDevice.h"
#include "tests/support/FakeSocket.h"
#include "tests/support/RecordingEventLogSink.h"
#include "tests/support/RecordingReports.h"

namespace tolvan {
namespace {

namespace fs = std::filesystem;

// A server context on fakes and a temporary store; COM ports absent unless a test adds them.
class StartUpTest : public ::testing::Test {
protected:
    StartUpTest()
        : root_(MakeRoot()),
          log_(sink_, clock_),
          store_((root_ / "registry.reg").string()),
          ctx_(clock_, log_, store_, sockets_, serials_) {
        for (int n = 1; n <= 16; ++n) {
            serials_.ports.absent.insert(n);
        }
        sockets_.Track(ctx_.WireSocket);
        ctx_.reports = &reports_;
        ctx_.sckConsole = sockets_.Create();
    }
    ~StartUpTest() override { fs::remove_all(root_); }

    static fs::path MakeRoot() {
        char pattern[] = "/tmp/tolvan-startup-XXXXXX";
        return mkdtemp(pattern);
    }
    void Present(std::initializer_list<int> numbers) {
        for (int n : numbers) {
            serials_.ports.absent.erase(n);
        }
    }
    void Store(int com, const std::string& name, const std::string& value) {
        ASSERT_TRUE(store_.RegWriteValue(std::string(kServiceKey) + "\\Port" + std::to_string(com),
                                         name, REG_SZ, value));
    }
    FakeSocket& Console() { return static_cast<FakeSocket&>(*ctx_.sckConsole); }
    FakeSerialDevice& Serial(int index) {
        return static_cast<FakeSerialDevice&>(ctx_.SerialIO.Get(index));
    }

    fs::path root_;
    FakeClock clock_;
    RecordingEventLogSink sink_;
    EventLog log_;
    RegistryStore store_;
    FakeSocketFactory sockets_;
    FakeSerialDeviceFactory serials_;
    RecordingReports reports_;
    ServerContext ctx_;
};

// Absent ports are skipped; a busy port still counts; the probe ends closed.
TEST_F(StartUpTest, EnumerateFindsPresentAndBusyPorts) {
    Present({1, 3, 4, 16});
    serials_.ports.busy.insert(4);
    EXPECT_EQ(EnumerateSerialPorts(ctx_), (std::vector<int>{1, 3, 4, 16}));
    ASSERT_TRUE(ctx_.SerialIO.Exists(kProbeIndex));
    FakeSerialDevice& probe = Serial(kProbeIndex);
    EXPECT_FALSE(probe.PortOpen());
    EXPECT_EQ(probe.commPort, 16);
    // Opened and closed again on each port that opened; busy COM4 was never open.
    EXPECT_EQ(std::count(probe.calls.begin(), probe.calls.end(), "PortOpen 0"), 3);

    serials_.ports.absent.insert({1, 3, 4, 16});
    EXPECT_TRUE(EnumerateSerialPorts(ctx_).empty());
}

// COM1, COM3 and COM4 give ports 0..2; COM4's listener is sckMain 32 on base + 4.
TEST_F(StartUpTest, InitialiseBuildsOnePortPerComPort) {
    Present({1, 3, 4});
    Store(4, "Enabled", "True");
    InitialisePorts(ctx_);

    ASSERT_EQ(ctx_.ports.size(), 3u);
    EXPECT_EQ(ctx_.ports[0].PortNumber, 1);
    EXPECT_EQ(ctx_.ports[1].PortNumber, 3);
    EXPECT_EQ(ctx_.ports[2].PortNumber, 4);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(ctx_.sckMain.Exists(SocketIndex(i, 0)));
        EXPECT_TRUE(ctx_.SerialIO.Exists(i));
        // Default MaxConnections 3: slots 0..3.
        EXPECT_EQ(ctx_.ports[i].Connections.size(), 4u);
    }
    EXPECT_TRUE(ctx_.ports[2].Enabled);
    EXPECT_TRUE(Serial(2).PortOpen());
    EXPECT_EQ(Serial(2).commPort, 4);
    EXPECT_EQ(sockets_.At(32).CountCalls("LocalPort 5004"), 1);
    EXPECT_EQ(sockets_.At(32).state, kSocketListening);

    EXPECT_TRUE(ctx_.PortsReady);
    EXPECT_EQ(reports_.Count("D3"), 1);
    EXPECT_EQ(Console().calls, (std::vector<std::string>{"Protocol 0", "LocalPort 5000",
                                                         "Bind 5000 127.0.0.1", "Listen"}));
}

// A client-mode port gets one slot and its socket at ConnNo 1, no listener.
TEST_F(StartUpTest, ClientModePortHasOneSlot) {
    Present({2});
    Store(2, "ServiceType", "1");
    InitialisePorts(ctx_);
    ASSERT_EQ(ctx_.ports.size(), 1u);
    EXPECT_EQ(ctx_.ports[0].Connections.size(), 2u);
    EXPECT_TRUE(ctx_.sckMain.Exists(1));
    EXPECT_FALSE(ctx_.sckMain.Exists(0));
}

// More slots than a socket index can number would reach into the next port's sockets.
TEST_F(StartUpTest, SlotsFollowMaxConnectionsWithinOneToFifteen) {
    Present({1, 2});
    Store(1, "MaxConnections", "200");
    Store(2, "MaxConnections", "0");
    InitialisePorts(ctx_);
    ASSERT_EQ(ctx_.ports.size(), 2u);
    EXPECT_EQ(ctx_.ports[0].Connections.size(), 16u);
    EXPECT_EQ(ctx_.ports[1].Connections.size(), 2u);
}

// With no serial port the server still starts: empty table, port list, console listener.
TEST_F(StartUpTest, NoPortsStillStartsTheConsole) {
    InitialisePorts(ctx_);
    EXPECT_TRUE(ctx_.ports.empty());
    EXPECT_TRUE(ctx_.PortsReady);
    EXPECT_EQ(reports_.Count("D3"), 1);
    EXPECT_EQ(Console().state, kSocketListening);
    EXPECT_EQ(sink_.entries.size(), 0u);
}

// The console listener uses BaseTCPPort and is left alone while connected or listening.
TEST_F(StartUpTest, ConsoleListenerRespectsItsState) {
    ctx_.settings.BaseTCPPort = 6100;
    InitialisePorts(ctx_);
    EXPECT_EQ(Console().CountCalls("Bind 6100 127.0.0.1"), 1);

    Console().calls.clear();
    Console().state = kSocketConnected;
    InitialisePorts(ctx_);
    EXPECT_TRUE(Console().calls.empty());
}

// A failure ends the initialisation there, logged with "M2S2 ".
TEST_F(StartUpTest, ErrorEndsInitialisation) {
    Present({1});
    Console().failing.insert("Listen");
    InitialisePorts(ctx_);
    EXPECT_TRUE(ctx_.PortsReady);
    ASSERT_EQ(sink_.Count("M2S2 Listen failed"), 1);
    EXPECT_EQ(sink_.entries.back().type, kEventError);
    EXPECT_EQ(sink_.entries.back().id, kEventIdError);
}

// A socket that cannot be made ends the initialisation before PortsReady and the console.
TEST_F(StartUpTest, FailedSocketStopsBeforeReady) {
    Present({1});
    sockets_.failCreates = 1;
    InitialisePorts(ctx_);
    EXPECT_FALSE(ctx_.PortsReady);
    EXPECT_EQ(sink_.Count("M2S2 out of memory"), 1);
    EXPECT_EQ(reports_.Count("D3"), 0);
    EXPECT_TRUE(Console().calls.empty());
}

// Stop closes and destroys every data socket and serial device but keeps the probes and
// the console, and goes on past failures.
TEST_F(StartUpTest, StopSequenceTakesEverythingDown) {
    Present({1, 2});
    Store(1, "Enabled", "True");
    Store(2, "Enabled", "True");
    InitialisePorts(ctx_);
    ctx_.sckMain.Ensure(kProbeIndex);
    ASSERT_TRUE(Serial(0).PortOpen());
    sockets_.At(0).failing.insert("Close");
    const std::size_t before = sink_.entries.size();

    StopSequence(ctx_);

    ASSERT_GT(sink_.entries.size(), before);
    EXPECT_EQ(sink_.entries[before].text, "Received Shut Down Signal");
    EXPECT_EQ(sink_.entries[before].type, kEventInformation);
    EXPECT_EQ(ctx_.sckMain.Indexes(), std::vector<int>{kProbeIndex});
    EXPECT_EQ(ctx_.SerialIO.Indexes(), std::vector<int>{kProbeIndex});
    EXPECT_FALSE(ctx_.PortsReady);
    EXPECT_EQ(ctx_.ports.size(), 2u);
    EXPECT_EQ(Console().state, kSocketListening);
}

}  // namespace
}  // namespace tolvan
