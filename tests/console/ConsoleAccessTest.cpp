#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>

#include <optional>
#include <string>

#include "tests/support/FakeConsole.h"

namespace tolvan {
namespace {

constexpr unsigned kNobody = 65534;

// The name of the user's primary group, when the machine knows the user.
std::optional<std::string> PrimaryGroupOf(unsigned uid) {
    const passwd* user = getpwuid(uid);
    const group* primary = user != nullptr ? getgrgid(user->pw_gid) : nullptr;
    if (primary == nullptr) {
        return std::nullopt;
    }
    return std::string(primary->gr_name);
}

class ConsoleAccessTest : public ::testing::Test, public FakeConsole {
protected:
    void SetConsoleGroup(const std::string& name) {
        ASSERT_TRUE(store.RegWriteValue(std::string(kServiceKey) + "\\Settings", "ConsoleGroup",
                                        REG_SZ, name));
    }
    // Refused: told "not-permitted" and nothing else, closed unread, logged with what was seen;
    // the listener is left alone.
    void ExpectRefused(FakeSocket* taken, const std::string& logged) {
        ASSERT_NE(taken, nullptr);
        EXPECT_EQ(taken->state, kSocketClosed);
        const auto told = Answers(taken);
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0].code, "DE");
        EXPECT_EQ(told[0].payload,
                  "not-permitted|only root and members of group tolvan may use the console");
        taken->FireDataArrival("D1|0|\r\n");
        EXPECT_EQ(taken->input, "D1|0|\r\n");  // never read
        EXPECT_TRUE(sink.Contains("M1S2 console connection refused: " + logged))
            << (sink.entries.empty() ? "" : sink.entries.back().text);
        EXPECT_EQ(listener->listens, 1);
        EXPECT_EQ(listener->closes, 0);
        EXPECT_EQ(listener->state, kSocketListening);
    }
};

// Root is served whatever the group setting says.
TEST_F(ConsoleAccessTest, RootIsServed) {
    SetConsoleGroup("no-such-group-here");
    ConnectConsole(0);
    EXPECT_EQ(console->state, kSocketConnected);
    EXPECT_FALSE(sink.Contains("refused"));
    Request("DB");
    EXPECT_EQ(Answers().size(), 1u);
}

// A user outside the console group, and a peer whose socket is no longer a live one (a
// time-wait entry the kernel reports as root's), are turned away; the next root console is
// served.
TEST_F(ConsoleAccessTest, OthersAndClosedPeersAreRefused) {
    ExpectRefused(ConnectConsole(kNobody, "user 65534, established"),
                  "peer user 65534, established: user id 65534 is neither root nor in group "
                  "tolvan");
    ExpectRefused(ConnectConsole(std::nullopt, "the peer's socket is a time-wait entry"),
                  "the peer's socket is a time-wait entry");
    EXPECT_EQ(server->Clients().Count(), 0);
    EXPECT_EQ(ConnectConsole(0)->state, kSocketConnected);
}

// Membership through the user's primary group is enough; the group is read from "Settings".
TEST_F(ConsoleAccessTest, MemberOfTheConsoleGroupIsServed) {
    const std::optional<std::string> group = PrimaryGroupOf(kNobody);
    if (!group) {
        GTEST_SKIP() << "no user " << kNobody << " on this machine";
    }
    SetConsoleGroup(*group);
    ConnectConsole(kNobody);
    ASSERT_NE(console, nullptr);
    EXPECT_EQ(console->state, kSocketConnected);
    EXPECT_FALSE(sink.Contains("refused"));
}

}  // namespace
}  // namespace tolvan
