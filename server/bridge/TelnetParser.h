#pragma once

#include <string>
#include <string_view>

#include "server/core/PortRecord.h"

namespace tolvan {

// Telnet bytes.
inline constexpr unsigned char kIac = 255;
inline constexpr unsigned char kDont = 254;
inline constexpr unsigned char kDo = 253;
inline constexpr unsigned char kWont = 252;
inline constexpr unsigned char kWill = 251;
inline constexpr unsigned char kSb = 250;
inline constexpr unsigned char kSe = 240;
inline constexpr unsigned char kNop = 241;

// Splits a received stream into data and telnet commands, wherever they stand and across
// chunk boundaries (the state lives in the connection slot). IAC IAC is one data byte 255;
// WILL is refused with DONT, DO with WONT; WONT, DONT, subnegotiations and the other
// two-byte commands are consumed without reply.
class TelnetParser {
public:
    // Appends the data bytes of chunk to data and the replies owed to the peer to reply.
    static void Parse(TelnetState& state, std::string_view chunk, std::string& data,
                      std::string& reply);
};

}  // namespace tolvan
