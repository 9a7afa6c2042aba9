#pragma once

#include <array>
#include <string>
#include <vector>

#include "tolvanctl/ConsoleSession.h"

namespace tolvan::ctl {

// The server's ports: COM numbers in port list order (the position is the port index).
struct PortList {
    std::vector<int> comNumbers;

    // The index of COM n; a CtlError naming the ports there are when the server has none.
    int IndexOf(int comNumber) const;
};

struct Connection {
    int number = 0;
    bool loggedIn = false;
    std::string connectTime;  // the server's date-time text
    std::string remoteAddress;
    int socketState = 0;
};

struct Counters {
    static constexpr int kCount = 10;
    std::string resetTime;  // the server's date-time text
    std::array<long long, kCount> values{};
};

struct PortStatus {
    std::string state;  // as the port state report names it
    std::string until;
    std::string detail;
};

// The requests tolvanctl makes, each waiting for its report.
PortList ReadPortList(ConsoleSession& session);
// The 22 fields of the port settings report, as sent.
std::vector<std::string> ReadSettingsFields(ConsoleSession& session, int portIndex);
std::vector<Connection> ReadConnections(ConsoleSession& session, int portIndex);
Counters ReadCounters(ConsoleSession& session, int portIndex, bool resetFirst);
PortStatus ReadPortStatus(ConsoleSession& session, int portIndex);
// "1.0.7" and "Release Date ..." of the server.
std::vector<std::string> ReadVersion(ConsoleSession& session);

// The names of the counters, in report order, as JSON keys and as shown.
struct CounterName {
    const char* key;
    const char* label;
};
const std::array<CounterName, Counters::kCount>& CounterNames();
inline constexpr int kCounterBytesFromSerial = 4;
inline constexpr int kCounterBytesToSerial = 5;

}  // namespace tolvan::ctl
