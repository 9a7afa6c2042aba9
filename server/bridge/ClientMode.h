#pragma once

#include <string>
#include <string_view>

#include "server/bridge/ServerContext.h"

namespace tolvan {

// Starts the outgoing connection of a client-mode port (slot 1). Closing an old connection
// is trapped here; errors of the connect itself reach the caller.
void ConnectClient(ServerContext& ctx, int portIndex);

// A chunk from the far end while the login is not confirmed yet.
void ClientHandshake(ServerContext& ctx, int index, const std::string& chunk);

// Serial data (255 already doubled) of a client-mode port: sent once the login is confirmed,
// otherwise kept in PendingData (newest InBufferSize characters), connecting when idle.
void ForwardToClient(ServerContext& ctx, int portIndex, std::string_view data);

}  // namespace tolvan
