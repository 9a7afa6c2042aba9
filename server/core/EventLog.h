#pragma once

#include <string>

namespace tolvan {

inline constexpr int kEventError = 1;
inline constexpr int kEventInformation = 4;
inline constexpr int kEventIdError = 109;
inline constexpr int kEventIdInformation = 110;

// Where event-log entries go. Writers never fail towards the caller.
class EventLogSink {
public:
    virtual ~EventLogSink() = default;
    virtual void Write(int type, int id, const std::string& text) = 0;
};

class Clock;

// The two writers every server operation uses.
class EventLog {
public:
    EventLog(EventLogSink& sink, const Clock& clock) : sink_(sink), clock_(clock) {}

    // An empty message is replaced by "<Empty Message>" (also in the caller's variable).
    void WriteEventLog(int type, int id, std::string& message);
    void Information(std::string message) {
        WriteEventLog(kEventInformation, kEventIdInformation, message);
    }
    // Local date-time, a space, then the message; type 1, id 109.
    void LogError(const std::string& message);

private:
    EventLogSink& sink_;
    const Clock& clock_;
};

}  // namespace tolvan
