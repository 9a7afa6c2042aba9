#pragma once

#include <string>
#include <string_view>

#include "server/bridge/CloseReason.h"
#include "server/bridge/ServerContext.h"

namespace tolvan {

// A listener asks to hand over a connection request (index = the listener's socket).
void AcceptConnection(ServerContext& ctx, int index, const RequestId& request);

// Writes text to one data connection; a connection that is not connected is closed instead.
// Every byte the server sends on a data connection goes through here. Returns whether the
// text was sent and the connection is still open.
bool SendToConnection(ServerContext& ctx, int index, std::string_view text);

// The peer closed the connection.
void OnConnectionClosed(ServerContext& ctx, int index);

// The socket reported an error; a data connection is closed, a listener is left alone.
void OnSocketError(ServerContext& ctx, int index, int number, const std::string& description);

// A slot taken by a new connection starts from a clean state.
void ArmSlot(ServerContext& ctx, const PortRecord& port, ConnectionSlot& slot);

// Starts the port's data listener on base port + COM number. A failure becomes the port's
// failure reason (its state shows it) and is thrown on.
void StartListening(ServerContext& ctx, int portIndex);

// Reopens listeners that are not listening, unless a bad-password lock-out still runs.
void CheckListeners(ServerContext& ctx);

// Takes a port whose serial device has vanished out of service and tells the console.
void DisablePort(ServerContext& ctx, int portIndex);

// A bad-password lock-out of the port's listener is in force at the current time.
bool ListenerLockedOut(const ServerContext& ctx, const PortRecord& port);

// Closes one data connection (connNo 1..15) or the listener (connNo 0) and frees its slot. The
// end of a server-mode connection is logged with its reason. A connection closed for its
// unread output loses that output; any other keeps it until sent.
void CloseConnection(ServerContext& ctx, int portIndex, int connNo,
                     CloseReason reason = CloseReason::ByServer);

// Writes the event of a server-mode data connection that ends for the reason (nothing for
// a free slot, a client-mode port or a connection refused at the gate).
void NoteConnectionEnd(ServerContext& ctx, int portIndex, int connNo, CloseReason reason);

}  // namespace tolvan
