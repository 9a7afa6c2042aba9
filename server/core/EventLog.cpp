#include "server/core/EventLog.h"

#include "server/core/Clock.h"

namespace tolvan {

void EventLog::WriteEventLog(int type, int id, std::string& message) {
    if (message.empty()) {
        message = "<Empty Message>";
    }
    try {
        sink_.Write(type, id, message);
    } catch (const std::exception&) {
        // A lost entry must never disturb the operation that wrote it.
    }
}

void EventLog::LogError(const std::string& message) {
    std::string text;
    try {
        text = DateTimeText(clock_.NowLocal()) + " " + message;
    } catch (const std::exception&) {
        return;
    }
    WriteEventLog(kEventError, kEventIdError, text);
}

}  // namespace tolvan
