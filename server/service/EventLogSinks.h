#pragma once

#include <memory>
#include <string>
#include <vector>

#include "server/core/EventLog.h"

namespace tolvan {

// The system journal: identifier TolvanServer, priority 3 for errors and 6 otherwise, with
// the fields TOLVAN_EVENT_TYPE and TOLVAN_EVENT_ID.
class JournalEventLogSink final : public EventLogSink {
public:
    void Write(int type, int id, const std::string& text) override;
};

// Appends "TYPE<TAB>ID<TAB>TEXT" lines to a file, opened and closed per entry.
class FileEventLogSink final : public EventLogSink {
public:
    explicit FileEventLogSink(std::string path) : path_(std::move(path)) {}
    void Write(int type, int id, const std::string& text) override;

private:
    std::string path_;
};

// One readable line per entry on standard error (debug runs).
class StderrEventLogSink final : public EventLogSink {
public:
    void Write(int type, int id, const std::string& text) override;
};

// Hands every entry to each of its sinks in turn.
class FanOutEventLogSink final : public EventLogSink {
public:
    void Add(std::unique_ptr<EventLogSink> sink) { sinks_.push_back(std::move(sink)); }
    void Write(int type, int id, const std::string& text) override;

private:
    std::vector<std::unique_ptr<EventLogSink>> sinks_;
};

// Backslash, tab, CR and LF written as \\, \t, \r and \n, so an entry stays on one line.
std::string EscapeEventText(const std::string& text);

}  // namespace tolvan
