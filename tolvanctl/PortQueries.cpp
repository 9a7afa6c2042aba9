#include "tolvanctl/PortQueries.h"

#include <algorithm>
#include <string_view>

#include "console_protocol/Frame.h"
#include "console_protocol/Messages.h"
#include "console_protocol/PortSettingsTable.h"
#include "console_protocol/TextForms.h"
#include "tolvanctl/CtlError.h"

namespace tolvan::ctl {

namespace {

using Fields = std::vector<std::string>;

CtlError BadReport(std::string_view what, const std::string& payload) {
    return Failure("the server's " + std::string(what) + " could not be read: '" + payload + "'");
}

long long Number(const std::string& text, std::string_view what, const std::string& payload) {
    const std::optional<long long> value =
        console::RoundedInteger(text, -2147483648LL, 4294967295LL);
    if (!value) {
        throw BadReport(what, payload);
    }
    return *value;
}

}  // namespace

int PortList::IndexOf(int comNumber) const {
    const auto found = std::find(comNumbers.begin(), comNumbers.end(), comNumber);
    if (found != comNumbers.end()) {
        return static_cast<int>(found - comNumbers.begin());
    }
    std::string names;
    for (int com : comNumbers) {
        names += (names.empty() ? "" : ", ") + std::string("COM") + std::to_string(com);
    }
    throw Failure("the server has no port COM" + std::to_string(comNumber) +
                  " (its ports: " + (names.empty() ? std::string("none") : names) + ")");
}

PortList ReadPortList(ConsoleSession& session) {
    session.Send(console::kCodePortList);
    const console::Frame frame =
        session.WaitFor([](const console::Frame& f) { return f.code == console::kCodePortList; });
    const Fields fields = console::SplitFields(frame.payload);
    if (fields.empty()) {
        throw BadReport("port list", frame.payload);
    }
    const long long count = Number(fields[0], "port list", frame.payload);
    if (count < 0 || static_cast<std::size_t>(count) != fields.size() - 1) {
        throw BadReport("port list", frame.payload);
    }
    PortList list;
    for (std::size_t i = 1; i < fields.size(); ++i) {
        list.comNumbers.push_back(static_cast<int>(Number(fields[i], "port list", frame.payload)));
    }
    return list;
}

std::vector<std::string> ReadSettingsFields(ConsoleSession& session, int portIndex) {
    session.Send(console::kCodeSettingsRequest, std::to_string(portIndex));
    const console::Frame frame = session.WaitForPort(console::kCodePortSettings, portIndex);
    Fields fields = console::SplitFields(frame.payload, console::kSettingsFieldCount);
    if (fields.size() != static_cast<std::size_t>(console::kSettingsFieldCount)) {
        throw BadReport("port settings report", frame.payload);
    }
    return fields;
}

std::vector<Connection> ReadConnections(ConsoleSession& session, int portIndex) {
    session.Send(console::kCodeConnectionList, std::to_string(portIndex));
    const console::Frame frame = session.WaitForPort(console::kCodeConnectionList, portIndex);
    const Fields fields = console::SplitFields(frame.payload);
    const std::size_t per = console::kConnectionFieldCount;
    if (fields.size() < 2) {
        throw BadReport("connection list", frame.payload);
    }
    const long long count = Number(fields[1], "connection list", frame.payload);
    if (count < 0 || fields.size() != 2 + static_cast<std::size_t>(count) * per) {
        throw BadReport("connection list", frame.payload);
    }
    std::vector<Connection> connections;
    for (std::size_t at = 2; at < fields.size(); at += per) {
        Connection c;
        c.number = static_cast<int>(Number(fields[at], "connection list", frame.payload));
        c.loggedIn = Number(fields[at + 1], "connection list", frame.payload) != 0;
        c.connectTime = fields[at + 2];
        c.remoteAddress = fields[at + 3];
        c.socketState = static_cast<int>(Number(fields[at + 4], "connection list", frame.payload));
        connections.push_back(std::move(c));
    }
    return connections;
}

Counters ReadCounters(ConsoleSession& session, int portIndex, bool resetFirst) {
    session.Send(resetFirst ? console::kCodeStatisticsReset : console::kCodeStatistics,
                 std::to_string(portIndex));
    const console::Frame frame = session.WaitForPort(console::kCodeStatistics, portIndex);
    const Fields fields = console::SplitFields(frame.payload);
    if (fields.size() != static_cast<std::size_t>(console::kStatisticsFieldCount)) {
        throw BadReport("statistics report", frame.payload);
    }
    Counters counters;
    counters.resetTime = fields[1];
    for (int i = 0; i < Counters::kCount; ++i) {
        counters.values[static_cast<std::size_t>(i)] =
            Number(fields[static_cast<std::size_t>(i) + 2], "statistics report", frame.payload);
    }
    return counters;
}

PortStatus ReadPortStatus(ConsoleSession& session, int portIndex) {
    session.Send(console::kCodePortState, std::to_string(portIndex));
    const console::Frame frame = session.WaitForPort(console::kCodePortState, portIndex);
    const Fields fields = console::SplitFields(frame.payload, console::kPortStateFieldCount);
    if (fields.size() != static_cast<std::size_t>(console::kPortStateFieldCount)) {
        throw BadReport("port state report", frame.payload);
    }
    return PortStatus{fields[1], fields[2], fields[3]};
}

std::vector<std::string> ReadVersion(ConsoleSession& session) {
    session.Send(console::kCodeVersion);
    const console::Frame frame =
        session.WaitFor([](const console::Frame& f) { return f.code == console::kCodeVersion; });
    Fields fields = console::SplitFields(frame.payload, 2);
    fields.resize(2);
    return fields;
}

const std::array<CounterName, Counters::kCount>& CounterNames() {
    static constexpr std::array<CounterName, Counters::kCount> kNames{{
        {"framingErrors", "Framing errors"},
        {"portOverruns", "Port overruns"},
        {"rxBufferOverruns", "RX buffer overruns"},
        {"parityErrors", "Parity errors"},
        {"bytesFromSerial", "Bytes from the serial line"},
        {"bytesToSerial", "Bytes to the serial line"},
        {"passwordFailures", "Password failures"},
        {"connections", "Successful connections"},
        {"idleTimeouts", "Idle connection timeouts"},
        {"txBufferOverruns", "TX buffer overruns"},
    }};
    return kNames;
}

}  // namespace tolvan::ctl
