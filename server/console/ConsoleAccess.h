#pragma once

#include <string>

namespace tolvan {

// Whether the user may use the console: root, and the members of the group (its primary
// group or a supplementary one). The console listens on loopback only, but every local user
// could otherwise reconfigure a service that runs with privileges.
bool ConsoleAccessAllowed(unsigned uid, const std::string& groupName);

}  // namespace tolvan
