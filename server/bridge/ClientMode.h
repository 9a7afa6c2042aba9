#pragma once

#include <string>
#include <string_view>

#include "server/bridge/ServerContext.h"

namespace tolvan {

// Where the outgoing connection of a client-mode port stands. The socket's events move it on:
// ConnectClient -> Connecting; the socket's connect event -> LoggingIn; the far end's
// "Connected" -> Connected; a close or error of the socket -> Closed.
enum class ClientPhase { Closed, Connecting, LoggingIn, Connected };
ClientPhase ClientPhaseOf(const ServerContext& ctx, int portIndex);

// Starts the outgoing connection of a client-mode port (slot 1), closing an old one first.
// Closing an old connection is trapped here; errors of the connect itself reach the caller.
void ConnectClient(ServerContext& ctx, int portIndex);

// A chunk from the far end while the login is not confirmed yet.
void ClientHandshake(ServerContext& ctx, int index, const std::string& chunk);

// Serial data (255 already doubled) of a client-mode port: sent once the login is confirmed,
// otherwise kept in PendingData (newest InBufferSize characters), connecting when idle.
void ForwardToClient(ServerContext& ctx, int portIndex, std::string_view data);

}  // namespace tolvan
