#pragma once

#include <string_view>

namespace tolvan {

// Why a data connection ended, for its event-log entry.
enum class CloseReason {
    ByServer,        // no more specific reason known
    ByClient,        // the client closed the connection
    ConnectionLost,  // the connection was found no longer connected
    SocketError,
    IdleTimeout,
    SessionTimeout,   // no password within the time allowed
    LockedOut,        // its address reached the limit of wrong passwords
    OutputStalled,    // its unread output stayed above the soft limit for StallSeconds
    OutputHardLimit,  // its unread output reached the hard limit
    OutputBudget,     // the largest queue when all queues together exceeded the total budget
    Operator,         // disconnected from the console
    PortClosed,       // the port was disabled, reconfigured or switched to client mode
    ServiceStop,
    Refused,  // closed at once at the gate; counted, not logged one by one
};

inline std::string_view CloseReasonText(CloseReason reason) {
    switch (reason) {
        case CloseReason::ByClient:
            return "closed by the client";
        case CloseReason::ConnectionLost:
            return "connection lost";
        case CloseReason::SocketError:
            return "socket error";
        case CloseReason::IdleTimeout:
            return "idle time-out";
        case CloseReason::SessionTimeout:
            return "session time-out (no password in time)";
        case CloseReason::LockedOut:
            return "lock-out after wrong passwords";
        case CloseReason::OutputStalled:
            return "stalled (unread output above the soft limit for StallSeconds)";
        case CloseReason::OutputHardLimit:
            return "unread output reached the hard limit";
        case CloseReason::OutputBudget:
            return "largest unread output when the server's total budget was exceeded";
        case CloseReason::Operator:
            return "disconnected by the operator";
        case CloseReason::PortClosed:
            return "port closed or reconfigured";
        case CloseReason::ServiceStop:
            return "service stopping";
        case CloseReason::Refused:
            return "refused at the password gate";
        case CloseReason::ByServer:
            break;
    }
    return "closed by the server";
}

}  // namespace tolvan
