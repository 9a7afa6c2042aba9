#pragma once

#include "server/bridge/ServerContext.h"

namespace tolvan {

// Fixed time a connection has to give its password, counted from its ConnectTime.
inline constexpr double kPasswordLimitSeconds = 30;

// Sent before a connection is ended by the timer.
inline constexpr const char* kSessionTimeoutText = "\r\nSession Timeout........\r\n";
// Telnet IAC NOP.
inline constexpr const char* kKeepAliveText = "\xFF\xF1";

// The supervision timer's tick (every 1000 ms).
void OnTimerTick(ServerContext& ctx);

}  // namespace tolvan
