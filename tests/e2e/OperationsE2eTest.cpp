#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/e2e/ServerSandbox.h"
#include "tests/e2e/SessionSteps.h"
#include "tests/e2e/TcpClient.h"

namespace tolvan::e2e {
namespace {

namespace fs = std::filesystem;

// The server as the packaged service runs it: as a user of its own, not root. When the tests
// are not root they already are such a user.
class OperationsTest : public ::testing::Test {
protected:
    OperationsTest() { box.RunUnprivileged(); }

    // Bytes cross COM com both ways through a logged-in client.
    static ::testing::AssertionResult Carries(ServerSandbox& box, TcpClient& client, int com,
                                              const std::string& up, const std::string& down) {
        if (!client.Write(up) || box.Pty(com).ReadBytes(up.size()) != up) {
            return ::testing::AssertionFailure() << "'" << up << "' did not reach COM" << com;
        }
        if (!box.Pty(com).Write(down) || client.ReadBytes(down.size()) != down) {
            return ::testing::AssertionFailure() << "'" << down << "' did not come from COM" << com;
        }
        return ::testing::AssertionSuccess();
    }

    // Sends SIGHUP and waits for the reload's event, which follows fragment.
    bool Reload(const std::string& fragment) {
        const int before = CountEvents(box.Events(), "Settings reloaded");
        return box.Process().Signal(SIGHUP) &&
               WaitFor([&] { return CountEvents(box.Events(), "Settings reloaded") > before; },
                       Millis(5000)) &&
               box.WaitForEvent(fragment, Millis(1000));
    }

    ServerSandbox box;
};

// The exclusive flag the start-up probe and the port set on the line is cleared at every
// close, so the unprivileged service opens its pseudo-terminal, and again after a restart
// while the line stays held open by the other side.
TEST_F(OperationsTest, UnprivilegedServiceOpensItsLineAgainAfterRestart) {
    box.AddPty(1);
    box.EnablePort(1);
    for (const char* round : {"first", "second"}) {
        ASSERT_TRUE(StartAndWaitFor(box, {1})) << round;
        TcpClient client;
        ASSERT_TRUE(LogIn(client, box.DataPort(1))) << round;
        EXPECT_TRUE(Carries(box, client, 1, std::string("up ") + round, "down")) << round;
        ASSERT_EQ(box.Stop()->code, 0) << round;
    }
    EXPECT_EQ(CountEvents(box.Events(), "Could not open Serial Port"), 0) << box.Stderr();
}

// SIGHUP applies a port whose stored settings changed and leaves the connections of an
// unchanged port alone; its log file, renamed away as logrotate does, is created afresh, and
// it still asks for its password. A store that cannot be read changes nothing.
TEST_F(OperationsTest, ReloadAppliesChangedPortsOnly) {
    const fs::path logs = box.Dir().Path() / "logs";
    fs::create_directories(logs);
    box.SetValue("Settings", "LogDirectory", logs.string());
    box.AddPty(1);
    box.AddPty(2);
    box.EnablePort(1);
    box.EnablePort(2);
    box.SetValue("Port1", "LogFile", "com1.log");
    ASSERT_TRUE(StartAndWaitFor(box, {1, 2}));
    TcpClient kept;
    TcpClient changed;
    ASSERT_TRUE(LogIn(kept, box.DataPort(1)));
    ASSERT_TRUE(LogIn(changed, box.DataPort(2)));
    ASSERT_TRUE(Carries(box, kept, 1, "a", "b"));
    fs::rename(logs / "com1.log", logs / "com1.log.1");

    box.SetValue("Port2", "Enabled", "False");
    box.SetValue("Settings", "IdleTimeCheckInterval", "30");
    box.SetValue("Settings", "StallSeconds", "5");
    // A removed password is no change: the port must not open without one.
    ASSERT_TRUE(
        box.Store().RegDeleteValue(std::string(kServiceKey) + "\\Port1", "ConnectPassword"));
    ASSERT_TRUE(
        Reload("Settings reloaded: IdleTimeCheckInterval 60 -> 30; StallSeconds 10 -> 5; "
               "COM2 (Enabled)"))
        << box.Stderr();
    EXPECT_TRUE(box.WaitForEvent("COM2 (" + box.Pty(2).SlavePath() + ") is disabled"));
    EXPECT_TRUE(changed.WaitClosed());
    EXPECT_FALSE(IsListening(box.DataPort(2)));
    EXPECT_TRUE(Carries(box, kept, 1, "c", "d"));
    TcpClient again;
    EXPECT_TRUE(LogIn(again, box.DataPort(1)));

    box.SetValue("Settings", "BaseTCPPort", "7000");
    ASSERT_TRUE(Reload("BaseTCPPort " + std::to_string(box.BasePort()) +
                       " -> 7000 (applies at the next start)"));
    EXPECT_TRUE(IsListening(box.DataPort(1)));

    std::ofstream(box.RegistryPath(), std::ios::app) << "[unterminated\n";
    box.Process().Signal(SIGHUP);
    EXPECT_TRUE(box.WaitForEvent("M2S20 settings not reloaded, nothing changed: settings store"));
    EXPECT_TRUE(Carries(box, kept, 1, "e", "f"));
    EXPECT_TRUE(IsListening(box.DataPort(1)));
    ASSERT_EQ(box.Stop()->code, 0);

    EXPECT_EQ(ReadFile((logs / "com1.log.1").string()), "ab");
    EXPECT_EQ(ReadFile((logs / "com1.log").string()), "cdef");
}

// ListenAddress chooses where the data listeners take connections, also on SIGHUP; a
// connection made before a change stays; what is not an address is reported and every
// address is used.
TEST_F(OperationsTest, ListenAddressChoosesTheListenersAddress) {
    box.AddPty(1);
    box.EnablePort(1);
    box.SetValue("Settings", "ListenAddress", "::1");
    ASSERT_TRUE(StartAndWaitFor(box, {1}));
    const std::string where = "COM1 (" + box.Pty(1).SlavePath() + ") listening on ";
    const std::string port = std::to_string(box.DataPort(1));
    EXPECT_TRUE(box.WaitForEvent(where + "[::1]:" + port));
    EXPECT_TRUE(TurnedAway(box.DataPort(1)));

    box.SetValue("Settings", "ListenAddress", "localhost");
    ASSERT_TRUE(Reload(where + "127.0.0.1:" + port));
    TcpClient client;
    ASSERT_TRUE(LogIn(client, box.DataPort(1)));

    box.SetValue("Settings", "ListenAddress", "every.example");
    ASSERT_TRUE(Reload(where + "0.0.0.0:" + port + " and [::]:" + port));
    EXPECT_TRUE(box.WaitForEvent("M2S16 invalid value 'every.example' for \"ListenAddress\""));
    EXPECT_TRUE(Carries(box, client, 1, "still", "here"));
    TcpClient second;
    EXPECT_TRUE(LogIn(second, box.DataPort(1)));
    ASSERT_EQ(box.Stop()->code, 0);
}

}  // namespace
}  // namespace tolvan::e2e
