#pragma once

#include <vector>

namespace tolvan {

struct ServerContext;

inline constexpr int kHighestComNumber = 16;

// Probes COM1..COM16 with SerialIO(1000) and answers the numbers of the ports present, in
// ascending order. A port that exists but cannot be opened counts as present.
std::vector<int> EnumerateSerialPorts(ServerContext& ctx);

// Builds Ports from the ports found, starts each one, reports the port list and starts the
// console listener. An error ends the initialisation where it happened.
void InitialisePorts(ServerContext& ctx);

// Closes and destroys every data socket and serial device (the probe elements are kept) and
// clears PortsReady. Every step runs even when an earlier one failed.
void StopSequence(ServerContext& ctx);

}  // namespace tolvan
