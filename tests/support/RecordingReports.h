#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "server/bridge/Reports.h"

namespace tolvan {

// Records every report as a readable line: "D1 2", "D2 -2", "D3", "D5 2",
// "DA 0 3 Connection Closed (Index 2)".
class RecordingReports final : public Reports {
public:
    void SendPortSettingsReport(int portIndex) override { Add("D1 " + std::to_string(portIndex)); }
    void SendConnectionCount(int first) override { Add("D2 " + std::to_string(first)); }
    void SendPortList() override { Add("D3"); }
    void SendConnectionList(int portIndex) override { Add("D5 " + std::to_string(portIndex)); }
    void SendTraceEvent(int portIndex, int kind, std::string_view text) override {
        Add("DA " + std::to_string(portIndex) + " " + std::to_string(kind) + " " +
            std::string(text));
    }

    int Count(std::string_view line) const {
        return static_cast<int>(std::count(calls.begin(), calls.end(), line));
    }
    bool Has(std::string_view line) const { return Count(line) > 0; }
    // Lines starting with the prefix, in order ("DA" for all trace events).
    std::vector<std::string> Starting(std::string_view prefix) const {
        std::vector<std::string> out;
        for (const auto& call : calls) {
            if (call.starts_with(prefix)) {
                out.push_back(call);
            }
        }
        return out;
    }

    std::vector<std::string> calls;

private:
    void Add(std::string line) { calls.push_back(std::move(line)); }
};

}  // namespace tolvan
