#pragma once

#include "server/service/PortStatus.h"

namespace tolvan {

struct ServerContext;

// SIGHUP: re-reads the store and puts what changed into force. A port whose stored settings
// differ from those in force is changed as a console update would change it; the others keep
// their connections. The Settings values that can change live do so (a changed BaseTCPPort
// waits for the next start), traffic log files are opened afresh, and one event says what
// changed. A store that cannot be read changes nothing.
void ReloadSettings(ServerContext& ctx, const DevicePathOf& devicePath);

}  // namespace tolvan
