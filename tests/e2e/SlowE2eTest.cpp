// The end-to-end cases that wait out real time-outs, in one executable of their own so they run
// beside the quick ones.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tests/e2e/ServerSandbox.h"
#include "tests/e2e/SessionSteps.h"
#include "tests/e2e/TcpClient.h"

namespace tolvan::e2e {
namespace {

// Started by hand without -debug and outside systemd, the server waits 15 seconds for a Start
// that never comes, logs "App Ending..." and ends.
TEST(ServiceWait, EndsWhenNotStartedByServiceManager) {
    ServerSandbox box;
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_TRUE(box.Start({}));
    const auto status = box.Process().WaitExit(Millis(30000));
    const auto waited = std::chrono::steady_clock::now() - begin;
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(status->exited);
    EXPECT_EQ(status->code, 1);
    EXPECT_GE(waited, std::chrono::seconds(14));

    const auto events = box.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, 4);
    EXPECT_EQ(events[0].id, 110);
    EXPECT_EQ(events[0].text, "App Ending... Not started from Service Manager");
}

// More than eight addresses locked out at once shut the listener until the first of their
// one-minute lock-outs ends; then it listens again and the addresses start afresh.
TEST(BridgeLimitsSlow, ListenerShutByManyLockOutsListensAgainWhenTheFirstEnds) {
    ServerSandbox box;
    box.AddPty(1);
    box.EnablePort(1);
    box.SetValue("Port1", "MaxPasswordAttemps", "1");
    box.SetValue("Port1", "BadPasswordShutdownLength", "1");
    box.SetValue("Settings", "ListeningPortCheckInterval", "1");
    ASSERT_TRUE(StartAndWaitFor(box, {1}));

    const auto firstLocked = std::chrono::steady_clock::now();
    for (int host = 1; host <= 9; ++host) {
        TcpClient guesser;
        ASSERT_TRUE(
            guesser.Connect(box.DataPort(1), Millis(3000), "127.0.0." + std::to_string(host)));
        ASSERT_EQ(guesser.ReadUntil("Password:"), "\r\nPassword:");
        ASSERT_TRUE(guesser.Write("wrong\r"));
        EXPECT_TRUE(guesser.WaitClosed());
    }
    EXPECT_TRUE(WaitFor([&] { return !IsListening(box.DataPort(1)); }, Millis(2000)));

    ASSERT_TRUE(WaitFor([&] { return IsListening(box.DataPort(1)); }, Millis(70000), Millis(200)));
    const auto shut = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - firstLocked);
    EXPECT_GE(shut.count(), 59000);
    EXPECT_LE(shut.count(), 64000);
    EXPECT_TRUE(box.WaitForEvent("lock-out of 127.0.0.1 ended after 1 minute"));
    TcpClient next;
    EXPECT_TRUE(LogIn(next, box.DataPort(1), "Mirelo", "127.0.0.1"));
    EXPECT_EQ(box.Stop()->code, 0);
}

// A client that never gives the password is told so and dropped 30 seconds after it
// connected; an admitted client of the same port is left alone.
TEST(SupervisionSlow, PasswordNotGivenEndsTheSessionAfterThirtySeconds) {
    ServerSandbox box;
    PseudoTerminal& device = box.AddPty(1);
    box.EnablePort(1);
    box.SetValue("Settings", "IdleTimeCheckInterval", "1");
    ASSERT_TRUE(StartAndWaitFor(box, {1}));
    TcpClient admitted;
    ASSERT_TRUE(LogIn(admitted, box.DataPort(1)));

    TcpClient silent;
    ASSERT_TRUE(silent.Connect(box.DataPort(1)));
    const auto connected = std::chrono::steady_clock::now();
    ASSERT_EQ(silent.ReadUntil("Password:"), "\r\nPassword:");
    const std::string notice = silent.ReadUntil("Session Timeout........\r\n", Millis(40000));
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - connected);
    EXPECT_EQ(notice, "\r\nSession Timeout........\r\n");
    EXPECT_GE(waited.count(), 29500);
    EXPECT_LE(waited.count(), 34000);
    EXPECT_TRUE(silent.WaitClosed());

    ASSERT_TRUE(device.Write("still here"));
    EXPECT_EQ(admitted.ReadBytes(10), "still here");
    EXPECT_EQ(box.Stop()->code, 0);
}

}  // namespace
}  // namespace tolvan::e2e
