#include <gtest/gtest.h>

#include <cctype>
#include <set>

#include "server/service/GeneratedPassword.h"
#include "server/service/StartUp.h"
#include "tests/support/FakeServer.h"

namespace tolvan {
namespace {

// The fake server before start-up: console socket made, COM ports absent unless a test adds them.
class StartUpTest : public ::testing::Test, public FakeServer {
protected:
    StartUpTest() {
        for (int n = 1; n <= 16; ++n) {
            serials.ports.absent.insert(n);
        }
        ctx.PortsReady = false;
        ctx.sckConsole = sockets.Create();
    }
    void Present(std::initializer_list<int> numbers) {
        for (int n : numbers) {
            serials.ports.absent.erase(n);
        }
    }
    void Store(int com, const std::string& name, const std::string& value) {
        ASSERT_TRUE(store.RegWriteValue(std::string(kServiceKey) + "\\Port" + std::to_string(com),
                                        name, REG_SZ, value));
    }
    FakeSocket& Console() { return static_cast<FakeSocket&>(*ctx.sckConsole); }
};

// Absent ports are skipped; a busy port still counts; the probe ends closed.
TEST_F(StartUpTest, EnumerateFindsPresentAndBusyPorts) {
    Present({1, 3, 4, 16});
    serials.ports.busy.insert(4);
    EXPECT_EQ(EnumerateSerialPorts(ctx), (std::vector<int>{1, 3, 4, 16}));
    ASSERT_TRUE(ctx.SerialIO.Exists(kProbeIndex));
    FakeSerialDevice& probe = Device(kProbeIndex);
    EXPECT_FALSE(probe.PortOpen());
    EXPECT_EQ(probe.commPort, 16);

    serials.ports.absent.insert({1, 3, 4, 16});
    EXPECT_TRUE(EnumerateSerialPorts(ctx).empty());
}

// COM1, COM3 and COM4 give ports 0..2; COM4's listener is sckMain 32 on base + 4.
TEST_F(StartUpTest, InitialiseBuildsOnePortPerComPort) {
    Present({1, 3, 4});
    Store(4, "Enabled", "True");
    InitialisePorts(ctx);

    ASSERT_EQ(ctx.ports.size(), 3u);
    EXPECT_EQ(ctx.ports[0].PortNumber, 1);
    EXPECT_EQ(ctx.ports[1].PortNumber, 3);
    EXPECT_EQ(ctx.ports[2].PortNumber, 4);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(ctx.sckMain.Exists(SocketIndex(i, 0)));
        EXPECT_TRUE(ctx.SerialIO.Exists(i));
        // Default MaxConnections 3: slots 0..3.
        EXPECT_EQ(ctx.ports[i].Connections.size(), 4u);
    }
    EXPECT_TRUE(ctx.ports[2].Enabled);
    EXPECT_TRUE(Device(2).PortOpen());
    EXPECT_EQ(Device(2).commPort, 4);
    EXPECT_EQ(sockets.At(32).localPort, 5004);
    EXPECT_EQ(sockets.At(32).state, kSocketListening);

    EXPECT_TRUE(ctx.PortsReady);
    EXPECT_EQ(reports.Count("D3"), 1);
    EXPECT_EQ(Console().state, kSocketListening);
    EXPECT_EQ(Console().localPort, 5000);
    EXPECT_EQ(Console().localAddress, "127.0.0.1");
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
    InitialisePorts(ctx);
    ASSERT_EQ(ctx.ports.size(), 5u);
    EXPECT_FALSE(ctx.ports[4].Enabled);
    EXPECT_FALSE(Device(4).PortOpen());
    EXPECT_TRUE(sink.Contains("M2S2 \"ConnectPassword\" of Port5 cannot be read"));
    const std::string first = ctx.ports[0].ConnectPassword;
    const std::string second = ctx.ports[1].ConnectPassword;
    for (const std::string& password : {first, second}) {
        EXPECT_EQ(password.size(), kGeneratedPasswordLength);
        EXPECT_EQ(password.find_first_not_of(kPasswordAlphabet), std::string::npos) << password;
    }
    EXPECT_NE(first, second);
    EXPECT_EQ(Stored(1, "ConnectPassword"), first);
    EXPECT_EQ(Stored(2, "ConnectPassword"), second);
    EXPECT_EQ(ctx.ports[2].ConnectPassword, "");
    EXPECT_EQ(Stored(3, "ConnectPassword"), "");
    EXPECT_EQ(ctx.ports[3].ConnectPassword, "kept as is");
    EXPECT_TRUE(sink.Contains("Serial Port 1 had no password: a new one was generated"));
    EXPECT_FALSE(sink.Contains(first));  // the password itself is never logged
    // The enabled port already listened with its own password.
    EXPECT_EQ(sockets.At(0).state, kSocketListening);

    InitialisePorts(ctx);
    EXPECT_EQ(ctx.ports[0].ConnectPassword, first);
    EXPECT_EQ(ctx.ports[1].ConnectPassword, second);
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

// Slots follow MaxConnections within 1 to 15: more than a socket index can number would
// reach into the next port's sockets. A client-mode port gets one slot and its socket at
// ConnNo 1, no listener.
TEST_F(StartUpTest, SlotsFollowMaxConnectionsWithinOneToFifteen) {
    Present({1, 2, 3});
    Store(1, "MaxConnections", "200");
    Store(2, "MaxConnections", "0");
    Store(3, "ServiceType", "1");
    InitialisePorts(ctx);
    ASSERT_EQ(ctx.ports.size(), 3u);
    EXPECT_EQ(ctx.ports[0].Connections.size(), 16u);
    EXPECT_EQ(ctx.ports[1].Connections.size(), 2u);
    EXPECT_EQ(ctx.ports[2].Connections.size(), 2u);
    EXPECT_TRUE(ctx.sckMain.Exists(SocketIndex(2, 1)));
    EXPECT_FALSE(ctx.sckMain.Exists(SocketIndex(2, 0)));
}

// With no serial port the server still starts: empty table, port list, console listener on
// BaseTCPPort, which is left alone while connected or listening.
TEST_F(StartUpTest, NoPortsStillStartsTheConsole) {
    ctx.settings.BaseTCPPort = 6100;
    InitialisePorts(ctx);
    EXPECT_TRUE(ctx.ports.empty());
    EXPECT_TRUE(ctx.PortsReady);
    EXPECT_EQ(reports.Count("D3"), 1);
    EXPECT_EQ(Console().state, kSocketListening);
    EXPECT_EQ(Console().localPort, 6100);
    EXPECT_EQ(sink.entries.size(), 0u);

    Console().state = kSocketConnected;
    ctx.settings.BaseTCPPort = 6200;
    InitialisePorts(ctx);
    EXPECT_EQ(Console().state, kSocketConnected);
    EXPECT_EQ(Console().localPort, 6100);
}

// A failure ends the initialisation there, logged with "M2S2 ".
TEST_F(StartUpTest, ErrorEndsInitialisation) {
    Present({1});
    Console().failing.insert("Listen");
    InitialisePorts(ctx);
    EXPECT_TRUE(ctx.PortsReady);
    ASSERT_EQ(sink.Count("M2S2 Listen failed"), 1);
    EXPECT_EQ(sink.entries.back().type, kEventError);
    EXPECT_EQ(sink.entries.back().id, kEventIdError);
}

// A socket that cannot be made ends the initialisation before PortsReady and the console.
TEST_F(StartUpTest, FailedSocketStopsBeforeReady) {
    Present({1});
    sockets.failCreates = 1;
    InitialisePorts(ctx);
    EXPECT_FALSE(ctx.PortsReady);
    EXPECT_EQ(sink.Count("M2S2 out of memory"), 1);
    EXPECT_EQ(reports.Count("D3"), 0);
    EXPECT_NE(Console().state, kSocketListening);
}

// Stop closes and destroys every data socket and serial device but keeps the probes and
// the console, and goes on past failures.
TEST_F(StartUpTest, StopSequenceTakesEverythingDown) {
    Present({1, 2});
    Store(1, "Enabled", "True");
    Store(2, "Enabled", "True");
    InitialisePorts(ctx);
    ctx.sckMain.Ensure(kProbeIndex);
    ASSERT_TRUE(Device(0).PortOpen());
    sockets.At(0).failing.insert("Close");
    const std::size_t before = sink.entries.size();

    StopSequence(ctx);

    ASSERT_GT(sink.entries.size(), before);
    EXPECT_EQ(sink.entries[before].text, "Received Shut Down Signal");
    EXPECT_EQ(sink.entries[before].type, kEventInformation);
    EXPECT_EQ(ctx.sckMain.Indexes(), std::vector<int>{kProbeIndex});
    EXPECT_EQ(ctx.SerialIO.Indexes(), std::vector<int>{kProbeIndex});
    EXPECT_FALSE(ctx.PortsReady);
    EXPECT_EQ(ctx.ports.size(), 2u);
    EXPECT_EQ(Console().state, kSocketListening);
}

}  // namespace
}  // namespace tolvan
