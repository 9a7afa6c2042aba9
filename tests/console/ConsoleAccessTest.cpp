#include <grp.h>
#include <pwd.h>

#include <optional>
#include <string>

#include "tests/console/ConsoleFixture.h"

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

class ConsoleAccessTest : public ConsoleFixture {
protected:
    void ConnectAs(std::optional<unsigned> uid) {
        console->peerUid = uid;
        console->FireConnectionRequest();
    }
    void SetConsoleGroup(const std::string& name) {
        ASSERT_TRUE(store.RegWriteValue(std::string(kServiceKey) + "\\Settings", "ConsoleGroup",
                                        REG_SZ, name));
    }
    // Refused: closed at once, logged, listening again on the loopback port.
    void ExpectRefused(const std::string& who) {
        EXPECT_EQ(console->state, kSocketListening);
        EXPECT_EQ(console->CountCalls("Bind 5000 127.0.0.1"), 1);
        EXPECT_TRUE(sink.Contains("M1S2 console connection refused for user id " + who))
            << (sink.entries.empty() ? "" : sink.entries.back().text);
        EXPECT_TRUE(console->TakeSent().empty());
    }
};

// Root is served whatever the group setting says.
TEST_F(ConsoleAccessTest, RootIsServed) {
    SetConsoleGroup("no-such-group-here");
    ConnectAs(0);
    EXPECT_EQ(console->state, kSocketConnected);
    EXPECT_FALSE(sink.Contains("refused"));
    Request("DB");
    EXPECT_EQ(Answers().size(), 1u);
}

// A user outside the console group, and a peer whose user is unknown, are turned away and
// the next configurator can connect.
TEST_F(ConsoleAccessTest, OthersAndUnknownPeersAreRefused) {
    const int p = AddPort(1);
    Port(p).TraceOn = true;
    ConnectAs(kNobody);
    ExpectRefused(std::to_string(kNobody));
    EXPECT_FALSE(Port(p).TraceOn);

    console->calls.clear();
    ConnectAs(std::nullopt);
    ExpectRefused("unknown");

    ConnectAs(0);
    EXPECT_EQ(console->state, kSocketConnected);
}

// Membership through the user's primary group is enough; the group is read from "Settings".
TEST_F(ConsoleAccessTest, MemberOfTheConsoleGroupIsServed) {
    const std::optional<std::string> group = PrimaryGroupOf(kNobody);
    if (!group) {
        GTEST_SKIP() << "no user " << kNobody << " on this machine";
    }
    SetConsoleGroup(*group);
    ConnectAs(kNobody);
    EXPECT_EQ(console->state, kSocketConnected);
    EXPECT_FALSE(sink.Contains("refused"));
}

}  // namespace
}  // namespace tolvan
