// trace: a port's live traffic until Ctrl-C or SIGTERM.

#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>

#include "console_protocol/Messages.h"
#include "console_protocol/TextForms.h"
#include "tolvanctl/Commands.h"
#include "tolvanctl/CtlError.h"
#include "tolvanctl/PortQueries.h"

namespace tolvan::ctl {

namespace {

constexpr int kKindToSerial = 0;
constexpr int kKindFromSerial = 1;
constexpr int kKindSerialEvent = 2;

// Ctrl-C and SIGTERM arrive as readable data instead of ending the program, so the trace
// can be switched off first.
class StopSignals {
public:
    StopSignals() {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        if (::sigprocmask(SIG_BLOCK, &set_, nullptr) != 0 ||
            (fd_ = ::signalfd(-1, &set_, SFD_CLOEXEC | SFD_NONBLOCK)) < 0) {
            throw Failure(std::string("cannot watch for Ctrl-C: ") + std::strerror(errno));
        }
    }
    ~StopSignals() {
        // Taken here, the signal that ended the trace does not end the program once unblocked.
        signalfd_siginfo taken{};
        while (::read(fd_, &taken, sizeof taken) == static_cast<ssize_t>(sizeof taken)) {
        }
        ::close(fd_);
        ::sigprocmask(SIG_UNBLOCK, &set_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    int Fd() const { return fd_; }

private:
    sigset_t set_{};
    int fd_ = -1;
};

// Local time of day with milliseconds.
std::string TimeStamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm parts{};
    localtime_r(&seconds, &parts);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", parts.tm_hour, parts.tm_min,
                  parts.tm_sec, static_cast<int>(ms));
    return text;
}

// The serial line's bytes as the server read them: its trace doubles every byte 255.
std::string Undoubled(std::string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bytes += text[i];
        if (text[i] == '\xff' && i + 1 < text.size() && text[i + 1] == '\xff') {
            ++i;
        }
    }
    return bytes;
}

// Printable ASCII as it is, every other byte as <XX>.
std::string Readable(std::string_view bytes) {
    std::string text;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            text += c;
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "<%02X>", byte);
            text += code;
        }
    }
    return text;
}

std::string Hex(std::string_view bytes) {
    std::string text;
    for (char c : bytes) {
        char code[4];
        std::snprintf(code, sizeof code, "%s%02X", text.empty() ? "" : " ",
                      static_cast<unsigned char>(c));
        text += code;
    }
    return text;
}

std::string TraceLine(int kind, const std::string& text, bool hex) {
    const bool data = kind == kKindToSerial || kind == kKindFromSerial;
    const std::string bytes = kind == kKindFromSerial ? Undoubled(text) : text;
    const char* label = kind == kKindToSerial      ? "to serial  "
                        : kind == kKindFromSerial  ? "from serial"
                        : kind == kKindSerialEvent ? "line event "
                                                   : "connection ";
    return TimeStamp() + "  " + label + "  " + (data && hex ? Hex(bytes) : Readable(bytes));
}

}  // namespace

int RunTrace(const Context& context) {
    const int com = ComOperand(context.invocation, 0);
    const StopSignals stop;
    const auto session = context.Connect();
    const int index = ReadPortList(*session).IndexOf(com);
    session->Send(console::kCodeTrace, console::TraceSwitchPayload(index, true));
    // Answered only once the switch before it was carried out: the trace runs from here on.
    ReadVersion(*session);
    std::cerr << "Tracing COM" << com << "; Ctrl-C ends.\n" << std::flush;
    while (std::optional<console::Frame> frame = session->NextUntil(stop.Fd())) {
        if (frame->code != console::kCodeTrace) {
            continue;
        }
        const std::vector<std::string> fields =
            console::SplitFields(frame->payload, console::kTraceFieldCount);
        if (fields.size() != static_cast<std::size_t>(console::kTraceFieldCount) ||
            console::LeadingNumber(fields[0]) != index) {
            continue;
        }
        const int kind = static_cast<int>(console::LeadingNumber(fields[2]));
        context.out << TraceLine(kind, fields[3], context.invocation.hex) << '\n' << std::flush;
        if (!context.out) {
            break;  // nobody reads the trace any more
        }
    }
    session->Send(console::kCodeTrace, console::TraceSwitchPayload(index, false));
    return kExitDone;
}

}  // namespace tolvan::ctl
