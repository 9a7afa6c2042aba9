#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tolvan::e2e {

struct EventEntry {
    int type = 0;
    int id = 0;
    std::string text;
};

// The entries of a TOLVAN_EVENTLOG file ("TYPE<TAB>ID<TAB>TEXT" lines, text escaped).
std::vector<EventEntry> ReadEventLog(const std::string& path);

// Undoes \\, \t, \r and \n.
std::string UnescapeEventText(std::string_view text);

// The number of entries whose text contains the fragment.
int CountEvents(const std::vector<EventEntry>& entries, std::string_view fragment);

}  // namespace tolvan::e2e
