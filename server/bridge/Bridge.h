#pragma once

#include "server/bridge/ServerContext.h"

namespace tolvan {

// The bridge operations the rest of the server calls.

// Connects the events of every SerialIO and sckMain element created from now on to the
// bridge's handlers for its index.
void WireBridgeEvents(ServerContext& ctx);

// (Re)configures the port's serial device from its record, opens it and starts the listener
// when enabled; closes everything of the port when disabled.
void ApplyPortSettings(ServerContext& ctx, int portIndex);

// Closes one data connection (connNo 1..15) or the listener (connNo 0) and frees its slot.
void CloseConnection(ServerContext& ctx, int portIndex, int connNo);

// The supervision timer's tick (every 1000 ms).
void OnTimerTick(ServerContext& ctx);

}  // namespace tolvan
