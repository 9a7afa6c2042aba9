#pragma once

#include <string>

namespace tolvan {

struct ServerContext;

// How a port is doing, as the port state report ("DC") tells it.
struct PortState {
    std::string state;   // listening, locked-out, connecting, connected, disabled, failed
    std::string until;   // end of a lock-out, local "yyyy-MM-dd HH:mm:ss"; otherwise empty
    std::string detail;  // the device path, the remote host:port, or why the port failed
};

// The port's state from its live record and sockets. A client-mode port that is not connected
// counts as connecting: it connects when serial data arrives (or on the timer when it is always
// connected). A server-mode port whose connections are all in use still counts as listening:
// its listener reopens as soon as one ends.
PortState DescribePortState(const ServerContext& ctx, int portIndex, const std::string& devicePath);

}  // namespace tolvan
