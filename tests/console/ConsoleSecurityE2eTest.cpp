// The console against local users who may not use it, run on the real server: the attacking
// side runs as user and group 65534 without supplementary groups, as
// setpriv --reuid=65534 --regid=65534 --clear-groups would run it.

#include <grp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <string>

#include "console_protocol/Frame.h"
#include "tests/e2e/Deadline.h"
#include "tests/e2e/ServerSandbox.h"
#include "tests/e2e/SessionSteps.h"
#include "tests/e2e/TcpClient.h"

namespace tolvan::e2e {
namespace {

constexpr unsigned kNobody = 65534;

std::string Frame(std::string_view code, std::string_view payload = {}) {
    return console::FrameMessage(code, payload) + "\r\n";
}

struct ChildRun {
    int status = -1;     // exit status; -1 when it did not end by itself in time
    std::string output;  // what it wrote to the descriptor it was given
};

// Runs body in a child process as user and group 65534 with no other groups. The body writes
// what it has to tell to the descriptor it is given and answers the exit status.
ChildRun AsNobody(const std::function<int(int out)>& body, Millis within = Millis(30000)) {
    int ends[2];
    if (::pipe(ends) != 0) {
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        if (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
            ::setresuid(kNobody, kNobody, kNobody) != 0) {
            ::_exit(100);
        }
        ::_exit(body(ends[1]));
    }
    ::close(ends[1]);
    ChildRun run;
    const Deadline deadline(within);
    char buffer[4096];
    pollfd readable{ends[0], POLLIN, 0};
    while (child > 0 && ::poll(&readable, 1, deadline.LeftMs()) == 1) {
        const ssize_t n = ::read(ends[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        run.output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(ends[0]);
    int status = 0;
    if (child > 0 && !WaitFor([&] { return ::waitpid(child, &status, WNOHANG) == child; },
                              Millis(deadline.LeftMs()))) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        return run;
    }
    run.status = child > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// One server with COM1 on a pseudo-terminal, its description "bench".
class ConsoleSecurityE2eTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root to act as another user";
        }
        box.AddPty(1);
        box.EnablePort(1);
        box.SetValue("Port1", "PortDescription", "bench");
        ASSERT_TRUE(StartAndWaitFor(box, {1}));
    }

    std::string Stored(const std::string& name) {
        return box.Store().RegReadValue(std::string(kServiceKey) + "\\Port1", name);
    }

    // An update that would open COM1 to everyone and rename it.
    static std::string TakeOver() {
        return Frame("D1",
                     "0|TRUE|TRUE|15|1|TRUE|TRUE|2048|1024|9600|n,8,1|0|4|600|0|||FALSE||0|"
                     "Server|taken over");
    }

    // Whether user 65534 can bind 127.0.0.1 on the console's port, as the impostor did.
    int BindAsNobody() {
        const int port = box.BasePort();
        return AsNobody([port](int) {
                   const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
                   const int on = 1;
                   ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
                   sockaddr_in address{};
                   address.sin_family = AF_INET;
                   address.sin_port = htons(static_cast<uint16_t>(port));
                   address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                   return ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
                              ? 1
                              : 0;
               })
            .status;
    }

    ServerSandbox box;
};

// Data and FIN in one segment, the socket closed before the server looks: by then the
// kernel reports a time-wait entry or an orphan as root's. Many tries change nothing, while
// the same update from root is taken.
TEST_F(ConsoleSecurityE2eTest, CloseBeforeCheckRaceChangesNothing) {
    constexpr int kTries = 100;
    const int port = box.BasePort();
    const std::string update = TakeOver();
    const ChildRun attack = AsNobody([&](int) {
        int sent = 0;
        for (int i = 0; i < kTries; ++i) {
            TcpClient attacker;
            sent += attacker.Connect(port) && attacker.Cork() && attacker.Write(update) ? 1 : 0;
        }
        return sent == kTries ? 0 : 1;
    });
    ASSERT_EQ(attack.status, 0);
    EXPECT_TRUE(WaitFor(
        [&] { return CountEvents(box.Events(), "M1S2 console connection refused") >= kTries; },
        Millis(20000)));
    EXPECT_EQ(Stored("PortDescription"), "bench");
    EXPECT_EQ(Stored("ConnectPassword"), "Mirelo");

    TcpClient root;
    ASSERT_TRUE(root.Connect(port));
    ASSERT_TRUE(root.Write(Frame("D2", "0")));
    EXPECT_TRUE(root.ReadUntil("\r\n").ends_with("|Server|bench\r\n"));
    ASSERT_TRUE(root.Write(update));
    EXPECT_NE(root.ReadUntil("D5|").find("|taken over\r\n"), std::string::npos);
    EXPECT_EQ(Stored("PortDescription"), "taken over");
}

// The listener stays bound during a session, after it and after many back-to-back sessions,
// all of which are answered: another user can never bind the console's address.
TEST_F(ConsoleSecurityE2eTest, ConsolePortStaysBoundAndEverySessionIsAnswered) {
    TcpClient session;
    ASSERT_TRUE(session.Connect(box.BasePort()));
    ASSERT_TRUE(session.Write(Frame("DB")));
    ASSERT_TRUE(session.ReadUntil("\r\n").starts_with("DB|"));
    EXPECT_EQ(BindAsNobody(), 0);
    session.Close();
    EXPECT_EQ(BindAsNobody(), 0);

    constexpr int kSessions = 300;
    int answered = 0;
    for (int i = 0; i < kSessions; ++i) {
        TcpClient next;
        answered += next.Connect(box.BasePort()) && next.Write(Frame("DB")) &&
                            next.ReadUntil("\r\n").starts_with("DB|")
                        ? 1
                        : 0;
    }
    EXPECT_EQ(answered, kSessions);
    EXPECT_EQ(BindAsNobody(), 0);
    EXPECT_EQ(CountEvents(box.Events(), "M1S1"), 0);
}

// A connection that is not served hears why and nothing else: another user is not
// permitted, a fifth console finds every slot taken.
TEST_F(ConsoleSecurityE2eTest, RefusedConnectionsAreToldWhy) {
    const int port = box.BasePort();
    const ChildRun refused = AsNobody([port](int out) {
        TcpClient client;
        if (!client.Connect(port) || !client.Write(Frame("DB"))) {
            return 1;
        }
        std::string heard = client.ReadUntil("\r\n");
        client.WaitClosed();
        heard += client.Leftover();
        return ::write(out, heard.data(), heard.size()) == static_cast<ssize_t>(heard.size()) &&
                       client.PeerClosed()
                   ? 0
                   : 2;
    });
    EXPECT_EQ(refused.status, 0);
    EXPECT_EQ(refused.output,
              Frame("DE",
                    "not-permitted|only root and members of group tolvan may use the "
                    "console"));

    TcpClient served[4];
    for (TcpClient& console : served) {
        ASSERT_TRUE(console.Connect(port));
        ASSERT_TRUE(console.Write(Frame("DB")));
        ASSERT_TRUE(console.ReadUntil("\r\n").starts_with("DB|"));
    }
    TcpClient fifth;
    ASSERT_TRUE(fifth.Connect(port));
    ASSERT_TRUE(fifth.Write(Frame("DB")));
    std::string heard = fifth.ReadUntil("\r\n");
    EXPECT_TRUE(fifth.WaitClosed());
    heard += fifth.Leftover();
    EXPECT_EQ(
        heard,
        Frame("DE", "full|all 4 console connections are in use; try again when one has ended"));
    EXPECT_TRUE(box.WaitForEvent("M1S2 console connection refused: all 4"));
}

}  // namespace
}  // namespace tolvan::e2e
