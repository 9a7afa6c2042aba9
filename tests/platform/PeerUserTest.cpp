#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <optional>

#include "server/platform/PeerUser.h"
#include "tests/platform/SocketTestSupport.h"

namespace tolvan {
namespace {

// A listening socket on a loopback address and a port of the kernel's choosing.
class LoopbackListener {
public:
    explicit LoopbackListener(int family) : family_(family) {
        fd_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage address = Address(0);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), Length()) != 0 ||
            ::listen(fd_, 4) != 0) {
            Close(fd_);
            return;
        }
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(family == AF_INET ? reinterpret_cast<sockaddr_in&>(address).sin_port
                                        : reinterpret_cast<sockaddr_in6&>(address).sin6_port);
    }
    ~LoopbackListener() { Close(fd_); }

    bool Ok() const { return fd_ >= 0; }

    // A connection from this process; -1 when it failed.
    int Connect() const {
        int fd = ::socket(family_, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage address = Address(port_);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), Length()) == 0) {
            return fd;
        }
        Close(fd);
        return -1;
    }

    // The server end of the next connection, waiting at most five seconds.
    int Accept() const {
        pollfd waiting{fd_, POLLIN, 0};
        if (::poll(&waiting, 1, 5000) != 1) {
            return -1;
        }
        return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    }

    static void Close(int& fd) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }

private:
    sockaddr_storage Address(int port) const {
        sockaddr_storage address{};
        if (family_ == AF_INET) {
            auto& in = reinterpret_cast<sockaddr_in&>(address);
            in.sin_family = AF_INET;
            in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            in.sin_port = htons(static_cast<uint16_t>(port));
        } else {
            auto& in6 = reinterpret_cast<sockaddr_in6&>(address);
            in6.sin6_family = AF_INET6;
            in6.sin6_addr = in6addr_loopback;
            in6.sin6_port = htons(static_cast<uint16_t>(port));
        }
        return address;
    }
    socklen_t Length() const {
        return family_ == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    }

    int family_;
    int fd_ = -1;
    int port_ = 0;
};

// A loopback connection made by this process belongs to this process's user, over IPv4 and
// over IPv6.
TEST(PeerUser, LoopbackConnectionOfThisProcessIsOurs) {
    for (int family : {AF_INET, AF_INET6}) {
        LoopbackListener listener(family);
        if (!listener.Ok()) {
            ASSERT_EQ(family, AF_INET6) << "no IPv4 loopback";
            continue;  // a machine without IPv6
        }
        int client = listener.Connect();
        ASSERT_GE(client, 0);
        int accepted = listener.Accept();
        ASSERT_GE(accepted, 0);
        EXPECT_EQ(PeerUser::Lookup(accepted), std::optional<unsigned>(::getuid()))
            << "family " << family;
        LoopbackListener::Close(client);
        LoopbackListener::Close(accepted);
    }
}

// Anything that is not a connected socket has no peer user.
TEST(PeerUser, NoAnswerWithoutAConnection) {
    LoopbackListener listener(AF_INET);
    ASSERT_TRUE(listener.Ok());
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    EXPECT_EQ(PeerUser::Lookup(pipeEnds[0]), std::nullopt);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    EXPECT_EQ(PeerUser::Lookup(-1), std::nullopt);
}

// A connection made by a process of another user is reported with that user's id.
TEST(PeerUser, OtherUsersConnectionIsTheirs) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    constexpr unsigned kNobody = 65534;
    LoopbackListener listener(AF_INET);
    ASSERT_TRUE(listener.Ok());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            ::_exit(2);
        }
        int fd = listener.Connect();
        char byte = 0;
        // Stay connected until the parent has looked.
        const bool ok = fd >= 0 && ::read(fd, &byte, 1) >= 0;
        ::_exit(ok ? 0 : 1);
    }
    int accepted = listener.Accept();
    ASSERT_GE(accepted, 0);
    EXPECT_EQ(PeerUser::Lookup(accepted), std::optional<unsigned>(kNobody));
    LoopbackListener::Close(accepted);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// An accepted QtSocket names the user of its peer, also on a listener of every address where
// an IPv4 peer shows as IPv4-mapped; a socket without a connection names nobody.
TEST(PeerUser, QtSocketReportsItsPeer) {
    test::App();
    test::RecordedSocket listener;
    test::RecordedSocket client;
    test::RecordedSocket server;
    EXPECT_EQ(server.socket->PeerUid(), std::nullopt);
    listener.socket->SetLocalPort(0);
    listener.socket->Listen();
    const int port = listener.socket->ListeningPort();
    ASSERT_GT(port, 0);
    client.socket->Connect("127.0.0.1", port);
    ASSERT_TRUE(test::WaitFor([&] { return !listener.requests.empty(); }));
    server.socket->Accept(listener.requests.back());
    EXPECT_EQ(server.socket->PeerUid(), std::optional<unsigned>(::getuid()));
    EXPECT_EQ(listener.socket->PeerUid(), std::nullopt);
}

}  // namespace
}  // namespace tolvan
