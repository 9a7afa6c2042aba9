#include "server/platform/PeerUser.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstring>

namespace tolvan {

namespace {

// One end of a connection as socket diagnostics address it (network byte order).
struct Endpoint {
    int family = AF_UNSPEC;
    std::array<uint32_t, 4> address{};
    uint16_t port = 0;
};

std::optional<Endpoint> EndpointOf(const sockaddr_storage& storage) {
    Endpoint end;
    if (storage.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(storage);
        end.family = AF_INET;
        end.address[0] = in.sin_addr.s_addr;
        end.port = in.sin_port;
        return end;
    }
    if (storage.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(storage);
        end.family = AF_INET6;
        std::memcpy(end.address.data(), &in6.sin6_addr, sizeof in6.sin6_addr);
        end.port = in6.sin6_port;
        return end;
    }
    return std::nullopt;
}

bool IsV4Mapped(const Endpoint& end) {
    return end.family == AF_INET6 && end.address[0] == 0 && end.address[1] == 0 &&
           end.address[2] == htonl(0xffff);
}

Endpoint Unmapped(const Endpoint& end) {
    Endpoint v4;
    v4.family = AF_INET;
    v4.address[0] = end.address[3];
    v4.port = end.port;
    return v4;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

// Asks the kernel for the TCP socket whose own end is `self` and whose far end is `far`.
std::optional<unsigned> OwnerOf(const Endpoint& self, const Endpoint& far) {
    const Descriptor link(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    if (link.Get() < 0) {
        return std::nullopt;
    }
    // The kernel answers at once; the limit only guards against a kernel that never does.
    const timeval limit{1, 0};
    ::setsockopt(link.Get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);

    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.header.nlmsg_seq = 1;
    message.request.sdiag_family = static_cast<uint8_t>(self.family);
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = ~0U;
    message.request.id.idiag_sport = self.port;
    message.request.id.idiag_dport = far.port;
    std::memcpy(message.request.id.idiag_src, self.address.data(), sizeof self.address);
    std::memcpy(message.request.id.idiag_dst, far.address.data(), sizeof far.address);
    message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(link.Get(), &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof kernel) != static_cast<ssize_t>(sizeof message)) {
        return std::nullopt;
    }
    alignas(nlmsghdr) char reply[8192];
    const ssize_t received = ::recv(link.Get(), reply, sizeof reply, 0);
    if (received <= 0) {
        return std::nullopt;
    }
    auto left = static_cast<unsigned>(received);
    for (auto* part = reinterpret_cast<nlmsghdr*>(reply); NLMSG_OK(part, left);
         part = NLMSG_NEXT(part, left)) {
        if (part->nlmsg_type != SOCK_DIAG_BY_FAMILY ||
            part->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) {
            return std::nullopt;  // an error (no such socket) or the end of the answer
        }
        const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(part));
        if (found->id.idiag_sport == self.port && found->id.idiag_dport == far.port) {
            return found->idiag_uid;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<unsigned> PeerUser::Lookup(int socketFd) {
    sockaddr_storage ours{};
    sockaddr_storage theirs{};
    socklen_t oursLength = sizeof ours;
    socklen_t theirsLength = sizeof theirs;
    if (::getsockname(socketFd, reinterpret_cast<sockaddr*>(&ours), &oursLength) != 0 ||
        ::getpeername(socketFd, reinterpret_cast<sockaddr*>(&theirs), &theirsLength) != 0) {
        return std::nullopt;
    }
    const std::optional<Endpoint> local = EndpointOf(ours);
    const std::optional<Endpoint> peer = EndpointOf(theirs);
    if (!local || !peer) {
        return std::nullopt;
    }
    // The peer's socket has the peer's address as its own and ours as its far end. On a
    // dual-stack listener an IPv4 peer shows as IPv4-mapped; its socket is a plain IPv4 one.
    if (IsV4Mapped(*peer) && IsV4Mapped(*local)) {
        if (std::optional<unsigned> owner = OwnerOf(Unmapped(*peer), Unmapped(*local))) {
            return owner;
        }
    }
    return OwnerOf(*peer, *local);
}

}  // namespace tolvan
