#pragma once

#include <string>
#include <string_view>

#include "server/bridge/ServerContext.h"

namespace tolvan {

// Line control by telnet COM-PORT-OPTION (RFC 2217) for server-mode ports whose Rfc2217
// setting is on. Changes go to the live line, never to the stored settings; they are obeyed
// from logged-in connections only, and every answer carries the value in force.

// Whether the port's clients may control its line.
bool LineControlOn(const PortRecord& port);

// A COM-PORT-OPTION subnegotiation from a data connection (the bytes between IAC SB and
// IAC SE, option byte first). Malformed ones are ignored.
void ComPortCommand(ServerContext& ctx, int index, std::string_view sub);

// The server's message for a client command code (answer or notification): IAC SB
// COM-PORT-OPTION (command + 100) value IAC SE, with IAC doubled in the value.
std::string ComPortMessage(unsigned char command, std::string_view value);

// Sends bytes to a client, or keeps them while it has suspended our sending. Returns
// whether the connection is still open.
bool SendToLineClient(ServerContext& ctx, int index, std::string_view bytes);

}  // namespace tolvan
