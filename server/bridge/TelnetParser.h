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

// Telnet options a line-controlling client negotiates.
inline constexpr unsigned char kOptionBinary = 0;
inline constexpr unsigned char kOptionSuppressGoAhead = 3;
inline constexpr unsigned char kOptionComPort = 44;

// The parser's state bit of COM-PORT-OPTION in TelnetState's Local and Remote.
inline constexpr uint8_t kComPortBit = 4;

// The client agreed to COM-PORT-OPTION in either direction.
inline bool ComPortAgreed(const TelnetState& state) {
    return ((state.Local | state.Remote) & kComPortBit) != 0;
}

// The longest subnegotiation kept; longer ones are dropped whole.
inline constexpr std::size_t kLongestSubnegotiation = 64;

// What one call of the parser found.
struct TelnetOutput {
    std::string data;   // data bytes, IAC doubling undone
    std::string reply;  // negotiation replies owed to the peer
    std::string sub;    // a complete subnegotiation (bytes between IAC SB and IAC SE)
};

// Splits a received stream into data and telnet commands, wherever they stand and across
// chunk boundaries (the state lives in the connection slot). IAC IAC is one data byte 255.
// Without line control every WILL is refused with DONT and every DO with WONT; WONT, DONT,
// subnegotiations and the other two-byte commands are consumed without reply. With line
// control BINARY, SUPPRESS-GO-AHEAD and COM-PORT-OPTION are accepted both ways (answered
// only when their state changes, so that no negotiation loops) and COM-PORT-OPTION
// subnegotiations of a client that negotiated it are handed out.
class TelnetParser {
public:
    // Without line control: appends the data bytes of chunk to data, replies to reply.
    static void Parse(TelnetState& state, std::string_view chunk, std::string& data,
                      std::string& reply);

    // With line control: parses until the end of chunk or the end of the first complete
    // COM-PORT-OPTION subnegotiation (then out.sub is set); returns the bytes used.
    static std::size_t ParseWithComPort(TelnetState& state, std::string_view chunk,
                                        TelnetOutput& out);
};

}  // namespace tolvan
