#pragma once

#include <string>

#include "server/bridge/ServerContext.h"

namespace tolvan {

// A data connection was accepted, or an outgoing connection completed: stamps it, greets it
// and, when the port has a password, holds it at the gate.
void ConnectionEstablished(ServerContext& ctx, int index);

// Data from a connection that has not logged in yet: collected until a line end, then
// compared with the port's password.
void CheckPassword(ServerContext& ctx, int index, PortRecord& port, ConnectionSlot& slot,
                   const std::string& chunk);

}  // namespace tolvan
