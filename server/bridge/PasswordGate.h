#pragma once

#include <string>

#include "server/bridge/ServerContext.h"

namespace tolvan {

// A data connection was accepted, or an outgoing connection completed: stamps it, greets it
// and, when the port has a password, holds it at the gate.
void ConnectionEstablished(ServerContext& ctx, int index);

// Data from a connection that has not logged in yet. Each line (up to CR or LF, blanks
// around it trimmed, empty lines skipped) is one attempt, compared whole with the password.
void CheckPassword(ServerContext& ctx, int index, PortRecord& port, ConnectionSlot& slot,
                   const std::string& chunk);

}  // namespace tolvan
