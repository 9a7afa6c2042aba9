#include "server/platform/PeerUser.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>

#include "posix_io/UniqueFd.h"

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

// What the kernel told about one socket.
struct Found {
    unsigned uid = 0;
    unsigned inode = 0;
    int state = 0;
};

// The states of include/net/tcp_states.h that a peer may be judged in.
constexpr int kEstablished = 1;
constexpr int kFinWait1 = 4;
constexpr int kFinWait2 = 5;
constexpr int kTimeWait = 6;

const char* StateName(int state) {
    static constexpr const char* kNames[] = {
        "unknown", "established", "syn-sent", "syn-recv", "fin-wait-1", "fin-wait-2",  "time-wait",
        "close",   "close-wait",  "last-ack", "listen",   "closing",    "new-syn-recv"};
    return state >= 0 && state < static_cast<int>(std::size(kNames)) ? kNames[state] : "unknown";
}

// Asks the kernel for the TCP socket whose own end is `self` and whose far end is `far`.
// Nothing when there is none; `error` tells why when the question itself failed.
std::optional<Found> SocketOf(const Endpoint& self, const Endpoint& far, std::string& error) {
    const UniqueFd link(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    if (link.Get() < 0) {
        error = std::string("socket diagnostics unavailable: ") + std::strerror(errno);
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
    // Every state, so that what was found can be told; the caller judges it.
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
        error = std::string("socket diagnostics request failed: ") + std::strerror(errno);
        return std::nullopt;
    }
    alignas(nlmsghdr) char reply[8192];
    const ssize_t received = ::recv(link.Get(), reply, sizeof reply, 0);
    if (received <= 0) {
        error = std::string("socket diagnostics did not answer: ") + std::strerror(errno);
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
            return Found{found->idiag_uid, found->idiag_inode, found->idiag_state};
        }
    }
    return std::nullopt;
}

PeerOwner Judge(const std::optional<Found>& found, const std::string& error) {
    if (!found) {
        return {std::nullopt, error.empty() ? "no socket of this machine at the far end" : error};
    }
    const std::string state = StateName(found->state);
    if (found->state == kTimeWait) {
        return {std::nullopt, "the peer's socket is a time-wait entry (closed already)"};
    }
    if (found->inode == 0) {
        return {std::nullopt, "the peer's socket is closed already (state " + state + ", user " +
                                  std::to_string(found->uid) + ")"};
    }
    if (found->state != kEstablished && found->state != kFinWait1 && found->state != kFinWait2) {
        return {std::nullopt, "the peer's socket is in state " + state};
    }
    return {found->uid, "user " + std::to_string(found->uid) + ", " + state};
}

}  // namespace

PeerOwner PeerUser::Lookup(int socketFd) {
    sockaddr_storage ours{};
    sockaddr_storage theirs{};
    socklen_t oursLength = sizeof ours;
    socklen_t theirsLength = sizeof theirs;
    if (::getsockname(socketFd, reinterpret_cast<sockaddr*>(&ours), &oursLength) != 0 ||
        ::getpeername(socketFd, reinterpret_cast<sockaddr*>(&theirs), &theirsLength) != 0) {
        return {std::nullopt, std::string("not a connected socket: ") + std::strerror(errno)};
    }
    const std::optional<Endpoint> local = EndpointOf(ours);
    const std::optional<Endpoint> peer = EndpointOf(theirs);
    if (!local || !peer) {
        return {std::nullopt, "not a TCP/IP connection"};
    }
    std::string error;
    // The peer's socket has the peer's address as its own and ours as its far end. On a
    // dual-stack listener an IPv4 peer shows as IPv4-mapped; its socket is a plain IPv4 one.
    if (IsV4Mapped(*peer) && IsV4Mapped(*local)) {
        if (std::optional<Found> found = SocketOf(Unmapped(*peer), Unmapped(*local), error)) {
            return Judge(found, error);
        }
        error.clear();
    }
    return Judge(SocketOf(*peer, *local, error), error);
}

}  // namespace tolvan
