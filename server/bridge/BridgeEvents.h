#pragma once

#include "server/bridge/ServerContext.h"

namespace tolvan {

// Connects the events of every SerialIO and sckMain element created from now on to the
// bridge's handlers for its index.
void WireBridgeEvents(ServerContext& ctx);

}  // namespace tolvan
