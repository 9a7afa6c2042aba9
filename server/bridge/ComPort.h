#pragma once

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

// Sends bytes to a client, or keeps them while it has suspended our sending. Returns
// whether the connection is still open.
bool SendToLineClient(ServerContext& ctx, int index, std::string_view bytes);

// A line event of the device (break, framing, parity, overrun) for clients that asked for it.
void NotifyLineEvent(ServerContext& ctx, int portIndex, int commEvent);

// The device saw its modem lines change.
void NotifyModemLines(ServerContext& ctx, int portIndex);

// Has the device watch its modem lines while some logged-in client asks for them.
void UpdateModemWatch(ServerContext& ctx, int portIndex);

}  // namespace tolvan
