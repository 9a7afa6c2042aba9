#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "console_protocol/Frame.h"
#include "tests/e2e/ServerSandbox.h"
#include "tests/e2e/SessionSteps.h"
#include "tests/e2e/TcpClient.h"

namespace tolvan::e2e {
namespace {

// The console connection as the configurator holds it: every report is kept, decoded.
class ConsolePeer {
public:
    bool Connect(int basePort) {
        return client_.Connect(basePort) && client_.Write("D3|0|\r\n") &&
               WaitForFrame([](const console::Frame& f) { return f.code == "D3"; });
    }

    // Waits until a report satisfying match has arrived (at or after position `from`).
    template <class Match>
    bool WaitForFrame(Match match, Millis within = Millis(3000), std::size_t from = 0) {
        const Deadline deadline(within);
        for (;;) {
            for (std::size_t i = from; i < frames_.size(); ++i) {
                if (match(frames_[i])) {
                    return true;
                }
            }
            if (deadline.Passed()) {
                return false;
            }
            Receive(Millis(std::min(50, deadline.LeftMs())));
        }
    }

    void Receive(Millis within) {
        decoder_.Append(client_.ReadFor(within));
        while (auto frame = decoder_.Next()) {
            frames_.push_back(std::move(*frame));
        }
    }

    const std::vector<console::Frame>& Frames() const { return frames_; }

    // The trace events received so far with exactly this text.
    int CountTraces(const std::string& text) const {
        int n = 0;
        for (const auto& frame : frames_) {
            const auto fields = console::SplitFields(frame.payload, 4);
            n += frame.code == "DA" && fields.size() == 4 && fields[3] == text ? 1 : 0;
        }
        return n;
    }

private:
    TcpClient client_;
    console::FrameDecoder decoder_;
    std::vector<console::Frame> frames_;
};

// COM1 of `box` in client mode towards 127.0.0.1:remotePort, giving the password "Mirelo".
void MakeClientPort(ServerSandbox& box, int remotePort, bool allwaysConnected) {
    box.AddPty(1);
    box.EnablePort(1);
    box.SetValue("Port1", "ServiceType", "1");
    box.SetValue("Port1", "RemoteIP", "127.0.0.1");
    box.SetValue("Port1", "RemotePort", std::to_string(remotePort));
    box.SetValue("Port1", "AllwaysConnected", allwaysConnected ? "True" : "False");
}

// Server B logs in to server A through a relay the test steps by hand: serial data written
// on B's line before the login is confirmed is held and arrives on A's line whole.
TEST(ClientMode, DataWrittenBeforeTheLoginIsHeldUntilConfirmed) {
    ServerSandbox a;
    PseudoTerminal& lineA = a.AddPty(1);
    a.EnablePort(1, "Mirelo");
    ASSERT_TRUE(StartAndWaitFor(a, {1}));
    TcpListener relay;
    ASSERT_TRUE(relay.Listen());
    ServerSandbox b;
    MakeClientPort(b, relay.Port(), false);
    ASSERT_TRUE(StartAndWaitFor(b, {}));
    PseudoTerminal& lineB = b.Pty(1);

    ASSERT_TRUE(lineB.Write("AB"));
    ASSERT_TRUE(relay.Accept());
    TcpClient toA;
    ASSERT_TRUE(toA.Connect(a.DataPort(1)));
    const std::string prompt = toA.ReadUntil("Password:");
    ASSERT_EQ(prompt, "\r\nPassword:");
    ASSERT_TRUE(relay.Write(prompt));
    const std::string password = relay.ReadBytes(8);
    ASSERT_EQ(password, "Mirelo\r\n");
    ASSERT_TRUE(toA.Write(password));
    const std::string welcome = toA.ReadUntil("Connected....\r\n");
    ASSERT_EQ(welcome, "\r\nConnected....\r\n");

    // Logged in at A, not yet confirmed to B: B keeps its serial data.
    ASSERT_TRUE(lineB.Write("CD"));
    EXPECT_EQ(relay.ReadBytes(1, Millis(400)), "");
    ASSERT_TRUE(relay.Write(welcome));
    const std::string held = relay.ReadBytes(4);
    EXPECT_EQ(held, "ABCD");
    ASSERT_TRUE(toA.Write(held));
    EXPECT_EQ(lineA.ReadBytes(4), "ABCD");
    EXPECT_EQ(a.Stop()->code, 0);
    EXPECT_EQ(b.Stop()->code, 0);
}

// Two servers chained directly: B's client-mode COM1 logs in to A's COM1 when serial data
// arrives, and then every byte value crosses the chain both ways.
TEST(ClientMode, ChainedServersCarryEveryByteBothWays) {
    ServerSandbox a;
    PseudoTerminal& lineA = a.AddPty(1);
    a.EnablePort(1, "Mirelo");
    ASSERT_TRUE(StartAndWaitFor(a, {1}));
    ServerSandbox b;
    MakeClientPort(b, a.DataPort(1), false);
    ASSERT_TRUE(StartAndWaitFor(b, {}));
    PseudoTerminal& lineB = b.Pty(1);

    ASSERT_TRUE(lineB.Write("AB"));
    ASSERT_TRUE(lineB.Write("CD"));
    EXPECT_EQ(lineA.ReadBytes(4), "ABCD") << a.Stderr() << b.Stderr();

    const std::string bytes = AllBytes();
    ASSERT_TRUE(lineA.Write(bytes));
    EXPECT_EQ(lineB.ReadBytes(bytes.size()), bytes);
    ASSERT_TRUE(lineB.Write(bytes));
    EXPECT_EQ(lineA.ReadBytes(bytes.size()), bytes);
    EXPECT_EQ(b.Stop()->code, 0);
    EXPECT_EQ(a.Stop()->code, 0);
}

// With AllwaysConnected a port whose far end is down is retried about every second, each
// retry traced to the console; once the far end listens the port connects and logs in.
TEST(ClientMode, AlwaysConnectedRetriesUntilTheFarEndListens) {
    TcpListener farEnd;
    ServerSandbox b;
    MakeClientPort(b, farEnd.Port(), true);
    b.SetValue("Settings", "ConstantConnectClientCheckInterval", "1");
    ASSERT_TRUE(StartAndWaitFor(b, {}));
    ConsolePeer console;
    ASSERT_TRUE(console.Connect(b.BasePort()));

    const std::string retry = "Client Always Connect->Connecting";
    const int before = console.CountTraces(retry);
    console.Receive(Millis(3000));
    const int retries = console.CountTraces(retry) - before;
    EXPECT_GE(retries, 2);
    EXPECT_LE(retries, 4);
    EXPECT_TRUE(b.WaitForEvent("Socket Error Com 1.... "));

    ASSERT_TRUE(farEnd.Listen());
    ASSERT_TRUE(farEnd.Accept(Millis(3000)));
    ASSERT_TRUE(farEnd.Write("\r\nPassword:"));
    EXPECT_EQ(farEnd.ReadBytes(8), "Mirelo\r\n");
    ASSERT_TRUE(farEnd.Write("\r\nConnected....\r\n"));
    EXPECT_TRUE(console.WaitForFrame([](const console::Frame& f) {
        return f.code == "DA" &&
               f.payload.ends_with("|Client Connection established for serial Port 1.");
    }));
    ASSERT_TRUE(b.Pty(1).Write("up"));
    EXPECT_EQ(farEnd.ReadBytes(2), "up");
    ASSERT_TRUE(farEnd.Write("down"));
    EXPECT_EQ(b.Pty(1).ReadBytes(4), "down");

    // Connected: no more retries.
    const int connected = console.CountTraces(retry);
    console.Receive(Millis(2000));
    EXPECT_EQ(console.CountTraces(retry), connected);
    EXPECT_EQ(b.Stop()->code, 0);
}

// Without AllwaysConnected a client-mode port stays unconnected until serial data arrives;
// then it connects once and waits for the far end to speak first.
TEST(ClientMode, OnDemandPortConnectsOnlyForSerialData) {
    TcpListener farEnd;
    ASSERT_TRUE(farEnd.Listen());
    ServerSandbox b;
    MakeClientPort(b, farEnd.Port(), false);
    b.SetValue("Settings", "ConstantConnectClientCheckInterval", "1");
    ASSERT_TRUE(StartAndWaitFor(b, {}));

    EXPECT_FALSE(farEnd.Accept(Millis(3000)));
    ASSERT_TRUE(b.Pty(1).Write("hello"));
    ASSERT_TRUE(farEnd.Accept(Millis(3000)));
    EXPECT_EQ(farEnd.ReadBytes(1, Millis(300)), "");
    ASSERT_TRUE(farEnd.Write("\r\nPassword:"));
    EXPECT_EQ(farEnd.ReadBytes(8), "Mirelo\r\n");
    ASSERT_TRUE(farEnd.Write("\r\nConnected....\r\n"));
    EXPECT_EQ(farEnd.ReadBytes(5), "hello");
    EXPECT_EQ(b.Stop()->code, 0);
}

// A far end that refuses the login with terminal escape sequences and a NUL in its answer: the
// event that quotes it carries them escaped, and none reaches the event log or standard error
// raw.
TEST(ClientMode, RefusalTextOfTheFarEndIsEscapedInEvents) {
    TcpListener farEnd;
    ASSERT_TRUE(farEnd.Listen());
    ServerSandbox b;
    MakeClientPort(b, farEnd.Port(), false);
    ASSERT_TRUE(StartAndWaitFor(b, {}));
    ASSERT_TRUE(b.Pty(1).Write("hello"));
    ASSERT_TRUE(farEnd.Accept(Millis(3000)));
    ASSERT_TRUE(
        farEnd.Write(std::string("Invalid Password\x1b]0;owned\x07") + '\0' + "\x1b[2J\r\n"));

    EXPECT_TRUE(
        b.WaitForEvent("Received Invalid Password<1B>]0;owned<07><00><1B>[2J<0D><0A> on "
                       "Client Connection for Serial Port 1."));
    EXPECT_EQ(b.Stop()->code, 0);
    for (const std::string& text : {ReadFile(b.EventLogPath()), b.Stderr()}) {
        EXPECT_EQ(text.find_first_of(std::string("\x1b\x07\0", 3)), std::string::npos) << text;
    }
}

// An admitted client that stays silent receives IAC NOP every KeepAliveTimeout seconds and
// nothing else.
TEST(Supervision, SilentClientGetsKeepAlives) {
    ServerSandbox box;
    box.AddPty(1);
    box.EnablePort(1);
    box.SetValue("Port1", "KeepAliveTimeout", "2");
    box.SetValue("Settings", "IdleTimeCheckInterval", "1");
    ASSERT_TRUE(StartAndWaitFor(box, {1}));
    TcpClient client;
    ASSERT_TRUE(LogIn(client, box.DataPort(1)));

    // Two keep-alives take 4-6 s; the bound leaves room for a loaded machine, and the count
    // against the time taken shows they do not come faster than the timeout allows.
    const auto start = std::chrono::steady_clock::now();
    std::string got = client.ReadUntil("\xff\xf1\xff\xf1", Millis(15000));
    got += client.ReadFor(Millis(500));
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string nops;
    while (nops.size() < got.size()) {
        nops += "\xff\xf1";
    }
    EXPECT_EQ(got, nops);
    EXPECT_GE(got.size() / 2, 2U);
    EXPECT_LE(static_cast<double>(got.size()) / 2, seconds / 2 + 1);
    EXPECT_FALSE(client.PeerClosed());
    EXPECT_EQ(box.Stop()->code, 0);
}

}  // namespace
}  // namespace tolvan::e2e
