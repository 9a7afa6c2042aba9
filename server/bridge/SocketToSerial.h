#pragma once

#include "server/bridge/ServerContext.h"

namespace tolvan {

// Data arrived on a data connection: telnet commands are answered, then the bytes go to the
// password gate, the client login or the serial line.
void ReceiveSocketData(ServerContext& ctx, int index);

// The port's serial transmit queue has emptied: connections held back go on.
void ResumeSocketData(ServerContext& ctx, int portIndex);

}  // namespace tolvan
