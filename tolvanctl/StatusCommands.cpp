// status, connections, disconnect, counters and version.

#include <iomanip>
#include <sstream>

#include "console_protocol/Messages.h"
#include "console_protocol/PortSettingsTable.h"
#include "console_protocol/TextForms.h"
#include "tolvanctl/Commands.h"
#include "tolvanctl/CtlError.h"
#include "tolvanctl/JsonWriter.h"
#include "tolvanctl/PortQueries.h"

namespace tolvan::ctl {

namespace {

struct PortLine {
    int com = 0;
    std::string device;
    bool enabled = false;
    bool client = false;
    PortStatus status;
    std::size_t connections = 0;
    long long bytesIn = 0;
    long long bytesOut = 0;
};

std::string ComName(int com) {
    return "COM" + std::to_string(com);
}

// The detail of these states is the device path the server uses.
bool DetailIsDevice(const PortStatus& status) {
    return status.state == console::kStateListening || status.state == console::kStateLockedOut ||
           status.state == console::kStateDisabled;
}

PortLine ReadPortLine(const Context& context, ConsoleSession& session, int index, int com) {
    PortLine line;
    line.com = com;
    const std::vector<std::string> fields = ReadSettingsFields(session, index);
    line.enabled = console::ParseBooleanField(fields[console::kFieldEnabled]).value_or(false);
    line.client = !console::EqualsIgnoringCase(fields[console::kFieldServiceType], "Server");
    line.status = ReadPortStatus(session, index);
    line.device = DetailIsDevice(line.status) ? line.status.detail : context.store.DevicePath(com);
    line.connections = ReadConnections(session, index).size();
    const Counters counters = ReadCounters(session, index, false);
    line.bytesIn = counters.values[kCounterBytesFromSerial];
    line.bytesOut = counters.values[kCounterBytesToSerial];
    return line;
}

void WriteStatusJson(std::ostream& out, const std::vector<PortLine>& lines) {
    JsonWriter json(out);
    json.BeginObject().Key("ports").BeginArray();
    for (const PortLine& line : lines) {
        json.BeginObject();
        json.Key("port").String(ComName(line.com));
        json.Key("device").String(line.device);
        json.Key("enabled").Bool(line.enabled);
        json.Key("mode").String(line.client ? "client" : "server");
        json.Key("state").String(line.status.state);
        json.Key("until");
        if (line.status.until.empty()) {
            json.Null();
        } else {
            json.String(line.status.until);
        }
        json.Key("detail").String(line.status.detail);
        json.Key("connections").Number(static_cast<long long>(line.connections));
        json.Key("bytesIn").Number(line.bytesIn);
        json.Key("bytesOut").Number(line.bytesOut);
        json.EndObject();
    }
    json.EndArray().EndObject();
}

void WriteStatusText(std::ostream& out, const std::vector<PortLine>& lines) {
    std::size_t deviceWidth = 6;
    for (const PortLine& line : lines) {
        deviceWidth = std::max(deviceWidth, line.device.size());
    }
    out << std::left << std::setw(6) << "PORT" << std::setw(static_cast<int>(deviceWidth) + 2)
        << "DEVICE" << std::setw(9) << "ENABLED" << std::setw(8) << "MODE" << std::setw(6) << "CONN"
        << std::setw(12) << "IN" << std::setw(12) << "OUT"
        << "STATE\n";
    for (const PortLine& line : lines) {
        out << std::left << std::setw(6) << ComName(line.com)
            << std::setw(static_cast<int>(deviceWidth) + 2) << line.device << std::setw(9)
            << (line.enabled ? "yes" : "no") << std::setw(8) << (line.client ? "client" : "server")
            << std::setw(6) << line.connections << std::setw(12) << line.bytesIn << std::setw(12)
            << line.bytesOut
            << console::DescribePortState(line.status.state, line.status.until, line.status.detail)
            << '\n';
    }
}

}  // namespace

int RunStatus(const Context& context) {
    const auto session = context.Connect();
    const PortList ports = ReadPortList(*session);
    std::vector<PortLine> lines;
    for (std::size_t i = 0; i < ports.comNumbers.size(); ++i) {
        lines.push_back(ReadPortLine(context, *session, static_cast<int>(i), ports.comNumbers[i]));
    }
    if (context.invocation.json) {
        WriteStatusJson(context.out, lines);
    } else if (lines.empty()) {
        context.out << "The server has no serial ports.\n";
    } else {
        WriteStatusText(context.out, lines);
    }
    return kExitDone;
}

int RunConnections(const Context& context) {
    const int com = ComOperand(context.invocation, 0);
    const auto session = context.Connect();
    const int index = ReadPortList(*session).IndexOf(com);
    const std::vector<Connection> connections = ReadConnections(*session, index);
    if (context.invocation.json) {
        JsonWriter json(context.out);
        json.BeginObject().Key("port").String(ComName(com)).Key("connections").BeginArray();
        for (const Connection& c : connections) {
            json.BeginObject();
            json.Key("number").Number(c.number);
            json.Key("loggedIn").Bool(c.loggedIn);
            json.Key("connectTime").String(c.connectTime);
            json.Key("remoteAddress").String(c.remoteAddress);
            json.Key("socketState").Number(c.socketState);
            json.EndObject();
        }
        json.EndArray().EndObject();
        return kExitDone;
    }
    if (connections.empty()) {
        context.out << ComName(com) << " has no connections.\n";
        return kExitDone;
    }
    context.out << std::left << std::setw(4) << "N" << std::setw(17) << "REMOTE" << std::setw(11)
                << "LOGGED IN"
                << "CONNECTED SINCE\n";
    for (const Connection& c : connections) {
        context.out << std::left << std::setw(4) << c.number << std::setw(17) << c.remoteAddress
                    << std::setw(11) << (c.loggedIn ? "yes" : "no") << c.connectTime << '\n';
    }
    return kExitDone;
}

int RunDisconnect(const Context& context) {
    const int com = ComOperand(context.invocation, 0);
    const std::string& numberText = context.invocation.operands[1];
    const std::optional<long long> number = console::RoundedInteger(numberText, 1, 15);
    if (!number || numberText.find_first_not_of("0123456789") != std::string::npos) {
        throw UsageError("the connection number is 1 to 15, not '" + numberText + "'");
    }
    const auto session = context.Connect();
    const int index = ReadPortList(*session).IndexOf(com);
    const auto has = [&] {
        for (const Connection& c : ReadConnections(*session, index)) {
            if (c.number == *number) {
                return true;
            }
        }
        return false;
    };
    if (!has()) {
        throw Failure(ComName(com) + " has no connection " + numberText);
    }
    session->Send(console::kCodeDisconnect,
                  console::DisconnectPayload(index, static_cast<int>(*number)));
    if (has()) {
        throw Failure("the server did not close connection " + numberText + " of " + ComName(com));
    }
    context.out << "Closed connection " << numberText << " of " << ComName(com) << ".\n";
    return kExitDone;
}

int RunCounters(const Context& context) {
    const int com = ComOperand(context.invocation, 0);
    const auto session = context.Connect();
    const int index = ReadPortList(*session).IndexOf(com);
    const Counters counters = ReadCounters(*session, index, context.invocation.reset);
    const auto& names = CounterNames();
    if (context.invocation.json) {
        JsonWriter json(context.out);
        json.BeginObject().Key("port").String(ComName(com));
        json.Key("resetTime").String(counters.resetTime);
        json.Key("counters").BeginObject();
        for (std::size_t i = 0; i < names.size(); ++i) {
            json.Key(names[i].key).Number(counters.values[i]);
        }
        json.EndObject().EndObject();
        return kExitDone;
    }
    context.out << ComName(com) << " counters since " << counters.resetTime << ":\n";
    for (std::size_t i = 0; i < names.size(); ++i) {
        context.out << "  " << std::left << std::setw(28) << names[i].label << counters.values[i]
                    << '\n';
    }
    return kExitDone;
}

int RunVersion(const Context& context) {
    context.out << "tolvanctl " << TOLVAN_VERSION_MAJOR << '.' << TOLVAN_VERSION_MINOR << '.'
                << TOLVAN_VERSION_REVISION << '\n'
                << std::flush;
    const auto session = context.Connect();
    const std::vector<std::string> version = ReadVersion(*session);
    context.out << "TolvanServer " << version[0]
                << (version[1].empty() ? "" : " (" + version[1] + ")") << '\n';
    return kExitDone;
}

}  // namespace tolvan::ctl
