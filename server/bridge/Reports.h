#pragma once

#include <string_view>

namespace tolvan {

// The reports the bridge sends towards a connected configurator. Dropped when none is
// connected; the console supplies the real implementation.
class Reports {
public:
    virtual ~Reports() = default;
    virtual void SendPortSettingsReport(int portIndex) = 0;
    virtual void SendConnectionCount(int first) = 0;
    virtual void SendPortList() = 0;
    virtual void SendConnectionList(int portIndex) = 0;
    virtual void SendTraceEvent(int portIndex, int kind, std::string_view text) = 0;
};

// No console: every report is dropped.
class NoReports final : public Reports {
public:
    void SendPortSettingsReport(int) override {}
    void SendConnectionCount(int) override {}
    void SendPortList() override {}
    void SendConnectionList(int) override {}
    void SendTraceEvent(int, int, std::string_view) override {}
};

// Trace kinds.
enum TraceKind : int {
    kTraceToSerial = 0,
    kTraceFromSerial = 1,
    kTraceSerialEvent = 2,
    kTraceConnectionEvent = 3,
};

}  // namespace tolvan
