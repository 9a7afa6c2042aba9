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

void Command(TelnetState& state, unsigned char byte, std::string& data) {
    if (byte == kIac) {
        data.push_back(static_cast<char>(kIac));
        state.Phase = kPlain;
    } else if (byte >= kWill) {
        state.Verb = byte;
        state.Phase = kOption;
    } else if (byte == kSb) {
        state.Phase = kSub;
    } else {
        state.Phase = kPlain;  // NOP, stray SE and the other two-byte commands
    }
}

void Option(TelnetState& state, unsigned char option, std::string& reply) {
    if (state.Verb == kWill || state.Verb == kDo) {
        reply.push_back(static_cast<char>(kIac));
        reply.push_back(static_cast<char>(state.Verb == kWill ? kDont : kWont));
        reply.push_back(static_cast<char>(option));
    }
    state.Verb = 0;
    state.Phase = kPlain;
}

}  // namespace

void TelnetParser::Parse(TelnetState& state, std::string_view chunk, std::string& data,
                         std::string& reply) {
    std::size_t pos = 0;
    while (pos < chunk.size()) {
        switch (state.Phase) {
            case kPlain: {
                const std::size_t iac = NextIac(chunk, pos);
                data.append(chunk.substr(pos, iac - pos));
                if (iac < chunk.size()) {
                    state.Phase = kCommand;
                }
                pos = iac + 1;
                break;
            }
            case kCommand:
                Command(state, static_cast<unsigned char>(chunk[pos++]), data);
                break;
            case kOption:
                Option(state, static_cast<unsigned char>(chunk[pos++]), reply);
                break;
            case kSub: {
                const std::size_t iac = NextIac(chunk, pos);
                if (iac < chunk.size()) {
                    state.Phase = kSubIac;
                }
                pos = iac + 1;
                break;
            }
            case kSubIac: {
                const auto byte = static_cast<unsigned char>(chunk[pos++]);
                state.Phase = byte == kSe ? kPlain : kSub;
                break;
            }
            default:
                state.Phase = kPlain;
                break;
        }
    }
}

}  // namespace tolvan
