#pragma once

#include <optional>
#include <string>

#include "server/bridge/Socket.h"

namespace tolvan {

// Whether the user may use the console: root, and the members of the group (its primary
// group or a supplementary one). The console listens on loopback only, but every local user
// could otherwise reconfigure a service that runs with privileges.
bool ConsoleAccessAllowed(unsigned uid, const std::string& groupName);

// Why a console connection with this peer is not served, for the log; nothing when it is:
// the peer must be a live socket (see PeerOwner) of root or of a member of the group.
std::optional<std::string> ConsoleRefusal(const PeerOwner& peer, const std::string& groupName);

}  // namespace tolvan
