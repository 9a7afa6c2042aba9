#pragma once

#include <optional>

namespace tolvan {

// Who is at the other end of a TCP connection within this machine: the user owning the
// peer's socket, as the kernel's socket diagnostics report it. Works for IPv4, IPv6 and
// IPv4-mapped connections.
class PeerUser {
public:
    // The user id owning the peer socket of the connected socket socketFd; nothing when the
    // peer is not a socket of this machine or the kernel does not answer.
    static std::optional<unsigned> Lookup(int socketFd);
};

}  // namespace tolvan
