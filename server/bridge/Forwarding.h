#pragma once

#include <string>
#include <string_view>

#include "server/bridge/ServerContext.h"

namespace tolvan {

// Serial data just read from the port's line: sent to every authenticated connection with
// each byte 255 doubled, kept for the client connection in client mode, traced and logged.
void ForwardSerialData(ServerContext& ctx, int portIndex, std::string_view data);

// Doubles each byte 255 into scratch and returns a view of the result; returns data itself
// (no copy) when it holds no 255.
std::string_view DoubleIac(std::string_view data, std::string& scratch);

}  // namespace tolvan
