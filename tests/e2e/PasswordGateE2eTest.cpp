#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/ServerSandbox.h"
#include "tests/e2e/SessionSteps.h"
#include "tests/e2e/TcpClient.h"
#include "tests/support/DeBruijn.h"

namespace tolvan::e2e {
namespace {

const std::string kPrompt = "\r\nPassword:";
const std::string kReprompt = "\r\nInvalid Password....\r\npassword:";
const std::string kWelcome = "\r\nConnected....\r\n";

std::string Host(int n) {
    return "127.0.0." + std::to_string(n);
}

// COM1 on a pseudo-terminal with the password "4711"; lock-outs last one minute.
class PasswordGateE2e : public ::testing::Test {
protected:
    PasswordGateE2e() {
        box.EnablePort(1, "4711");
        box.SetValue("Port1", "BadPasswordShutdownLength", "1");
    }

    // Connects from the host and answers whether the prompt came.
    bool Prompted(TcpClient& client, const std::string& from) {
        return client.Connect(box.DataPort(1), Millis(3000), from) &&
               client.ReadUntil("Password:") == kPrompt;
    }

    ServerSandbox box;
    PseudoTerminal& device = box.AddPty(1);
};

// One line holding every four-digit string, a password with junk before it and a run of
// wrong lines are each refused as whole lines (no limit here); the password with blanks
// around it and ended by CR NUL is taken, and nothing of it reaches the line.
TEST_F(PasswordGateE2e, EachLineIsOneAttemptComparedWhole) {
    box.SetValue("Port1", "MaxPasswordAttemps", "0");
    ASSERT_TRUE(StartAndWaitFor(box, {1}));
    TcpClient client;
    ASSERT_TRUE(Prompted(client, Host(1)));

    ASSERT_TRUE(client.Write(DeBruijnDigits(4) + "\r\n"));
    EXPECT_EQ(client.ReadUntil("password:"), kReprompt);
    EXPECT_EQ(client.ReadFor(Millis(300)), "");
    ASSERT_TRUE(client.Write("junk4711\r\n4711junk\r\n"));
    EXPECT_EQ(client.ReadBytes(2 * kReprompt.size()), kReprompt + kReprompt);
    std::string wrong;
    for (int i = 0; i < 30; ++i) {
        wrong += "guess" + std::to_string(i) + "\r\n";
    }
    ASSERT_TRUE(client.Write(wrong));
    EXPECT_EQ(client.ReadBytes(30 * kReprompt.size()).size(), 30 * kReprompt.size());

    ASSERT_TRUE(client.Write(std::string("  4711 \t\r\0", 10)));
    EXPECT_EQ(client.ReadUntil(kWelcome), kWelcome);
    EXPECT_EQ(device.ReadFor(Millis(300)), "");
    ASSERT_TRUE(client.Write("typed"));
    EXPECT_EQ(device.ReadBytes(5), "typed");
    EXPECT_TRUE(box.WaitForEvent("Serial Port 1: login from 127.0.0.1 on connection 1."));
    EXPECT_EQ(CountEvents(box.Events(), "Serial Port 1: invalid password from 127.0.0.1"), 10);
    EXPECT_EQ(box.Stop()->code, 0);
}

// A guesser reconnecting after every guess is locked out after MaxPasswordAttemps guesses in
// all; from then on its connections are closed at once, while another host logs in and a
// client already admitted carries on. The listener keeps listening.
TEST_F(PasswordGateE2e, GuessesSpreadOverConnectionsLockOutOnlyTheGuesser) {
    ASSERT_TRUE(StartAndWaitFor(box, {1}));
    TcpClient admitted;
    ASSERT_TRUE(LogIn(admitted, box.DataPort(1), "4711", Host(3)));

    int guesses = 0;
    for (int round = 0; round < 20; ++round) {
        TcpClient guesser;
        if (!Prompted(guesser, Host(1))) {
            EXPECT_EQ(guesser.Leftover(), "");
            continue;
        }
        ++guesses;
        ASSERT_TRUE(guesser.Write(std::to_string(1000 + round) + "\r\n"));
        const std::string answer = guesser.ReadUntil("password:", Millis(1000));
        EXPECT_TRUE(answer == kReprompt || (answer.empty() && guesser.PeerClosed())) << answer;
    }
    EXPECT_EQ(guesses, 4);
    EXPECT_TRUE(TurnedAway(box.DataPort(1), Host(1)));
    EXPECT_TRUE(IsListening(box.DataPort(1)));

    TcpClient other;
    EXPECT_TRUE(LogIn(other, box.DataPort(1), "4711", Host(2)));
    ASSERT_TRUE(device.Write("to both"));
    EXPECT_EQ(admitted.ReadBytes(7), "to both");
    EXPECT_EQ(other.ReadBytes(7), "to both");

    EXPECT_TRUE(box.WaitForEvent(
        "Serial Port 1: 127.0.0.1 locked out for 1 minute after 4 invalid passwords."));
    const auto events = box.Events();
    EXPECT_EQ(CountEvents(events, "Serial Port 1: invalid password from 127.0.0.1"), 4);
    EXPECT_EQ(CountEvents(events, "from 127.0.0.1 ended: lock-out after wrong passwords."), 1);
    EXPECT_EQ(CountEvents(events, "from 127.0.0.1 ended: closed by the client."), 3);
    EXPECT_EQ(CountEvents(events, "Serial Port 1: login from 127.0.0.2"), 1);
    for (const auto& entry : events) {
        EXPECT_EQ(entry.type, 4) << entry.text;
    }
    EXPECT_EQ(box.Stop()->code, 0);
}

}  // namespace
}  // namespace tolvan::e2e
