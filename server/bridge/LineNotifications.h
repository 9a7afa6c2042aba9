#pragma once

#include "server/bridge/ServerContext.h"

namespace tolvan {

// What line-controlling clients (see ComPort.h) are told of the line, each as far as its
// masks ask: line events, modem line changes.

// A line event of the device (break, framing, parity, overrun).
void NotifyLineEvent(ServerContext& ctx, int portIndex, int commEvent);

// The device saw its modem lines change.
void NotifyModemLines(ServerContext& ctx, int portIndex);

// Has the device watch its modem lines while some logged-in client asks for them.
void UpdateModemWatch(ServerContext& ctx, int portIndex);

}  // namespace tolvan
