#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "console_protocol/Frame.h"
#include "posix_io/UniqueFd.h"

namespace tolvan::ctl {

// One console connection to the server. Every wait is bounded; whatever goes wrong ends the
// program with a CtlError that says what happened: the server is not running, it refused this
// connection ("DE": not permitted, no console slot free), it closed the connection, or it did
// not answer in time.
class ConsoleSession {
public:
    static constexpr int kAnswerMs = 5000;

    // Connects to host:port (a name or an address).
    ConsoleSession(const std::string& host, int port);
    ConsoleSession(const ConsoleSession&) = delete;
    ConsoleSession& operator=(const ConsoleSession&) = delete;

    void Send(std::string_view code, std::string_view payload = {});

    // The first frame that `wanted` accepts; frames before it are skipped.
    console::Frame WaitFor(const std::function<bool(const console::Frame&)>& wanted,
                           int withinMs = kAnswerMs);
    // The first frame with the code whose field 0 is `port`.
    console::Frame WaitForPort(std::string_view code, int port, int withinMs = kAnswerMs);

    // The next frame, waiting without limit; nothing once stopFd becomes readable.
    std::optional<console::Frame> NextUntil(int stopFd);

private:
    // Reads what has arrived, waiting up to withinMs (-1: no limit); false when stopFd is
    // readable first or the time is up.
    bool Receive(int withinMs, int stopFd);
    // The next decoded frame; a refusal ends the program.
    std::optional<console::Frame> Decoded();

    UniqueFd fd_;
    std::string where_;  // "host:port", for the messages
    console::FrameDecoder decoder_;
};

}  // namespace tolvan::ctl
