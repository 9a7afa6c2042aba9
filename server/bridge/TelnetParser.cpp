#include "server/bridge/TelnetParser.h"

#include <cstring>

namespace tolvan {

namespace {

enum Phase : uint8_t {
    kPlain = 0,    // data
    kCommand = 1,  // after IAC
    kOption = 2,   // after IAC WILL/WONT/DO/DONT, the option byte is next
    kSub = 3,      // inside IAC SB ... IAC SE
    kSubIac = 4,   // IAC inside a subnegotiation
};

// The position of the next IAC at or after from, or the chunk's size.
std::size_t NextIac(std::string_view chunk, std::size_t from) {
    if (from >= chunk.size()) {
        return chunk.size();
    }
    const void* hit = std::memchr(chunk.data() + from, kIac, chunk.size() - from);
    return hit == nullptr ? chunk.size()
                          : static_cast<std::size_t>(static_cast<const char*>(hit) - chunk.data());
}

// The state bit of an option a line-controlling client may use; 0 for any other.
uint8_t OptionBit(unsigned char option) {
    switch (option) {
        case kOptionBinary:
            return 1;
        case kOptionSuppressGoAhead:
            return 2;
        case kOptionComPort:
            return kComPortBit;
        default:
            return 0;
    }
}

void Send(std::string& reply, unsigned char verb, unsigned char option) {
    reply.push_back(static_cast<char>(kIac));
    reply.push_back(static_cast<char>(verb));
    reply.push_back(static_cast<char>(option));
}

void Command(TelnetState& state, unsigned char byte, std::string& data) {
    if (byte == kIac) {
        data.push_back(static_cast<char>(kIac));
        state.Phase = kPlain;
    } else if (byte >= kWill) {
        state.Verb = byte;
        state.Phase = kOption;
    } else if (byte == kSb) {
        state.Phase = kSub;
        state.Sub.clear();
        state.SubDropped = false;
    } else {
        state.Phase = kPlain;  // NOP, stray SE and the other two-byte commands
    }
}

void Option(TelnetState& state, unsigned char option, std::string& reply, bool comPort) {
    const uint8_t bit = comPort ? OptionBit(option) : 0;
    const unsigned char verb = state.Verb;
    state.Verb = 0;
    state.Phase = kPlain;
    if (bit == 0) {
        if (verb == kWill || verb == kDo) {
            Send(reply, verb == kWill ? kDont : kWont, option);
        }
        return;
    }
    // Only a change of state is answered: an agreement already in force is not repeated.
    uint8_t& agreed = verb == kDo || verb == kDont ? state.Local : state.Remote;
    const bool wanted = verb == kDo || verb == kWill;
    if (((agreed & bit) != 0) == wanted) {
        return;
    }
    agreed = static_cast<uint8_t>(wanted ? agreed | bit : agreed & ~bit);
    switch (verb) {
        case kDo:
            Send(reply, kWill, option);
            break;
        case kDont:
            Send(reply, kWont, option);
            break;
        case kWill:
            Send(reply, kDo, option);
            break;
        default:
            Send(reply, kDont, option);
            break;
    }
}

void SubByte(TelnetState& state, char byte) {
    if (state.SubDropped) {
        return;
    }
    if (state.Sub.size() >= kLongestSubnegotiation) {
        state.Sub.clear();
        state.SubDropped = true;
        return;
    }
    state.Sub.push_back(byte);
}

// One step of the parser from pos; returns the new position. A finished subnegotiation of a
// client that negotiated COM-PORT-OPTION is moved to sub.
std::size_t Step(TelnetState& state, std::string_view chunk, std::size_t pos, std::string& data,
                 std::string& reply, std::string* sub) {
    switch (state.Phase) {
        case kPlain: {
            const std::size_t iac = NextIac(chunk, pos);
            data.append(chunk.substr(pos, iac - pos));
            if (iac < chunk.size()) {
                state.Phase = kCommand;
            }
            return iac + 1;
        }
        case kCommand:
            Command(state, static_cast<unsigned char>(chunk[pos]), data);
            return pos + 1;
        case kOption:
            Option(state, static_cast<unsigned char>(chunk[pos]), reply, sub != nullptr);
            return pos + 1;
        case kSub: {
            const std::size_t iac = NextIac(chunk, pos);
            if (sub != nullptr) {
                for (std::size_t i = pos; i < iac && !state.SubDropped; ++i) {
                    SubByte(state, chunk[i]);
                }
            }
            if (iac < chunk.size()) {
                state.Phase = kSubIac;
            }
            return iac + 1;
        }
        case kSubIac: {
            const auto byte = static_cast<unsigned char>(chunk[pos]);
            if (byte == kIac) {
                SubByte(state, static_cast<char>(kIac));
                state.Phase = kSub;
            } else if (byte == kSe) {
                state.Phase = kPlain;
                if (sub != nullptr && !state.SubDropped && ComPortAgreed(state) &&
                    !state.Sub.empty() &&
                    static_cast<unsigned char>(state.Sub[0]) == kOptionComPort) {
                    *sub = std::move(state.Sub);
                }
                state.Sub.clear();
            } else {
                state.SubDropped = true;  // a lone IAC inside a subnegotiation: malformed
                state.Phase = kSub;
            }
            return pos + 1;
        }
        default:
            state.Phase = kPlain;
            return pos;
    }
}

}  // namespace

void TelnetParser::Parse(TelnetState& state, std::string_view chunk, std::string& data,
                         std::string& reply) {
    std::size_t pos = 0;
    while (pos < chunk.size()) {
        pos = Step(state, chunk, pos, data, reply, nullptr);
    }
}

std::size_t TelnetParser::ParseWithComPort(TelnetState& state, std::string_view chunk,
                                           TelnetOutput& out) {
    std::size_t pos = 0;
    while (pos < chunk.size() && out.sub.empty()) {
        pos = Step(state, chunk, pos, out.data, out.reply, &out.sub);
    }
    return pos < chunk.size() ? pos : chunk.size();
}

}  // namespace tolvan
