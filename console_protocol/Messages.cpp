#include "console_protocol/Messages.h"

namespace tolvan::console {

std::string JoinFields(const std::vector<std::string>& fields) {
    std::string joined;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            joined += '|';
        }
        joined += fields[i];
    }
    return joined;
}

std::string VersionPayload(int major, int minor, int revision) {
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(revision) +
           "|Release Date " + std::string(kReleaseDate);
}

std::string TraceSwitchPayload(int port, bool on) {
    return std::to_string(port) + (on ? "|ON|" : "|OFF|");
}

std::string DisconnectPayload(int port, int connNo) {
    return std::to_string(port) + "|" + std::to_string(connNo);
}

std::string PortStatePayload(int port, std::string_view state, std::string_view until,
                             std::string_view detail) {
    std::string payload = std::to_string(port) + "|";
    payload.append(state).append("|").append(until).append("|").append(detail);
    return payload;
}

std::string DescribePortState(std::string_view state, std::string_view until,
                              std::string_view detail) {
    const auto with = [](std::string_view lead, std::string_view rest) {
        return std::string(lead) + std::string(rest);
    };
    if (state == kStateLockedOut) {
        return with("locked out until ", until);
    }
    if (state == kStateConnecting) {
        return with("connecting to ", detail);
    }
    if (state == kStateConnected) {
        return with("connected to ", detail);
    }
    if (state == kStateFailed) {
        return with("could not be opened: ", detail);
    }
    return std::string(state);
}

std::string DescribeRefusal(std::string_view reason, std::string_view text) {
    const std::string because = text.empty() ? std::string() : " (" + std::string(text) + ")";
    if (reason == kRefusedNotPermitted) {
        return "not permitted: not in the console group" + because;
    }
    if (reason == kRefusedFull) {
        return "the console is busy" + (text.empty() ? std::string() : ": " + std::string(text));
    }
    return "the console refused the connection: " + std::string(reason) + because;
}

std::string TraceEventPayload(int port, int portNumber, int kind, std::string_view text) {
    std::string payload =
        std::to_string(port) + "|" + std::to_string(portNumber) + "|" + std::to_string(kind) + "|";
    payload.append(text);
    return payload;
}

}  // namespace tolvan::console
