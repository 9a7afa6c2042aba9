#pragma once

#include "server/bridge/ServerContext.h"

namespace tolvan {

// Notification of the port's serial device (index = PortIndex).
void OnComm(ServerContext& ctx, int portIndex, int commEvent);

// The port's serial device is open and still answers; never throws.
bool SerialPortPresent(ServerContext& ctx, int portIndex);

// (Re)configures the port's serial device from its record, opens it and starts the listener
// when enabled; closes everything of the port when disabled.
void ApplyPortSettings(ServerContext& ctx, int portIndex);

// A new listener for a server-mode port that is in service, so that a changed listen address
// takes effect; its connections stay open.
void RestartListener(ServerContext& ctx, int portIndex);

}  // namespace tolvan
