#pragma once

#include "server/bridge/Socket.h"

namespace tolvan {

// Who is at the other end of a TCP connection within this machine: the user owning the
// peer's socket, as the kernel's socket diagnostics report it. Works for IPv4, IPv6 and
// IPv4-mapped connections.
class PeerUser {
public:
    // The owner of the peer socket of the connected socket socketFd. A user is named only for
    // a socket still open in a process (non-zero inode) that is established or half-closed by
    // its owner: once the peer has closed, the kernel reports a time-wait entry or an orphan,
    // whose user says nothing about who made the connection.
    static PeerOwner Lookup(int socketFd);
};

}  // namespace tolvan
