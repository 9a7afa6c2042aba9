#include "tests/e2e/EventLogFile.h"

#include <fstream>

namespace tolvan::e2e {

std::string UnescapeEventText(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'n':
                out += '\n';
                break;
            default:
                out += text[i];
        }
    }
    return out;
}

std::vector<EventEntry> ReadEventLog(const std::string& path) {
    std::vector<EventEntry> entries;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (in.eof()) {
            break;  // no line break yet: still being written
        }
        const auto first = line.find('\t');
        const auto second = first == std::string::npos ? first : line.find('\t', first + 1);
        if (second == std::string::npos) {
            continue;
        }
        EventEntry entry;
        try {
            entry.type = std::stoi(line.substr(0, first));
            entry.id = std::stoi(line.substr(first + 1, second - first - 1));
        } catch (const std::exception&) {
            continue;
        }
        entry.text = UnescapeEventText(std::string_view(line).substr(second + 1));
        entries.push_back(std::move(entry));
    }
    return entries;
}

int CountEvents(const std::vector<EventEntry>& entries, std::string_view fragment) {
    int n = 0;
    for (const auto& entry : entries) {
        n += entry.text.find(fragment) != std::string::npos ? 1 : 0;
    }
    return n;
}

}  // namespace tolvan::e2e
