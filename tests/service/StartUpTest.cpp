#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <set>

#include "server/bridge/ServerContext.h"
#include "server/core/EventLog.h"
#include "server/service/GeneratedPassword.h"
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
    std::string StoredPassword(int com) const {
        return store_.RegReadValue(std::string(kServiceKey) + "\\Port" + std::to_string(com),
                                   "ConnectPassword");
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

// A port without a stored password gets one of its own before it opens: twelve characters
// of the unambiguous alphabet, different for each port, stored and never replaced. A stored
// empty password (no password) and a stored password stay as they are.
TEST_F(StartUpTest, PortsWithoutStoredPasswordGetTheirOwn) {
    Present({1, 2, 3, 4, 5});
    Store(1, "Enabled", "True");
    Store(3, "ConnectPassword", "");
    Store(4, "ConnectPassword", "kept as is");
    // A stored password the store does not hand out (too long) must not open the port bare.
    Store(5, "Enabled", "True");
    Store(5, "ConnectPassword", std::string(3000, 'p'));
    InitialisePorts(ctx_);
    ASSERT_EQ(ctx_.ports.size(), 5u);
    EXPECT_FALSE(ctx_.ports[4].Enabled);
    EXPECT_FALSE(Serial(4).PortOpen());
    EXPECT_TRUE(sink_.Contains("M2S2 \"ConnectPassword\" of Port5 cannot be read"));
    const std::string first = ctx_.ports[0].ConnectPassword;
    const std::string second = ctx_.ports[1].ConnectPassword;
    for (const std::string& password : {first, second}) {
        EXPECT_EQ(password.size(), kGeneratedPasswordLength);
        EXPECT_EQ(password.find_first_not_of(kPasswordAlphabet), std::string::npos) << password;
    }
    EXPECT_NE(first, second);
    EXPECT_EQ(StoredPassword(1), first);
    EXPECT_EQ(StoredPassword(2), second);
    EXPECT_EQ(ctx_.ports[2].ConnectPassword, "");
    EXPECT_EQ(StoredPassword(3), "");
    EXPECT_EQ(ctx_.ports[3].ConnectPassword, "kept as is");
    EXPECT_TRUE(sink_.Contains("Serial Port 1 had no password: a new one was generated"));
    EXPECT_FALSE(sink_.Contains(first));  // the password itself is never logged
    // The enabled port already listened with its own password.
    EXPECT_EQ(sockets_.At(0).state, kSocketListening);

    InitialisePorts(ctx_);
    EXPECT_EQ(ctx_.ports[0].ConnectPassword, first);
    EXPECT_EQ(ctx_.ports[1].ConnectPassword, second);
    // Letters and digits only, none that reads like another; every character of the
    // alphabet turns up, and no password comes twice.
    std::set<std::string> made;
    std::set<char> seen;
    for (int i = 0; i < 300; ++i) {
        const std::string password = GeneratePassword();
        made.insert(password);
        seen.insert(password.begin(), password.end());
    }
    EXPECT_EQ(made.size(), 300u);
    for (const char c : seen) {
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) &&
                    std::string("0Oo1lI").find(c) == std::string::npos)
            << c;
    }
    EXPECT_EQ(seen.size(), 56u);
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
