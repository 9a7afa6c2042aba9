#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "server/core/EventLog.h"

namespace tolvan {

// Keeps every event-log entry written through it, in order.
class RecordingEventLogSink final : public EventLogSink {
public:
    struct Entry {
        int type = 0;
        int id = 0;
        std::string text;
    };

    void Write(int type, int id, const std::string& text) override {
        entries.push_back({type, id, text});
    }

    // The number of entries whose text contains the fragment.
    int Count(std::string_view fragment) const {
        int n = 0;
        for (const auto& entry : entries) {
            n += entry.text.find(fragment) != std::string::npos ? 1 : 0;
        }
        return n;
    }
    bool Contains(std::string_view fragment) const { return Count(fragment) > 0; }

    std::vector<Entry> entries;
};

}  // namespace tolvan
