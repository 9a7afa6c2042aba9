#include "server/bridge/ComPort.h"

#include <array>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "console_protocol/PortSettingsTable.h"
#include "console_protocol/TextForms.h"
#include "server/bridge/Connections.h"
#include "server/bridge/LineNotifications.h"
#include "server/bridge/PortAccess.h"
#include "server/bridge/TelnetParser.h"
#include "server/core/ForeignText.h"

namespace tolvan {

namespace {

// Client commands; the server's answers are the command plus kAnswer.
enum ComPortCommandCode : unsigned char {
    kSignature = 0,
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kSetControl = 5,
    kNotifyLineState = 6,
    kNotifyModemState = 7,
    kFlowSuspend = 8,
    kFlowResume = 9,
    kSetLineStateMask = 10,
    kSetModemStateMask = 11,
    kPurgeData = 12,
};
constexpr unsigned char kAnswer = 100;

constexpr std::string_view kParities = "noems";  // codes 1 to 5
constexpr int kChangesLoggedPerMinute = 20;

struct Client {
    ServerContext& ctx;
    int index;
    int portIndex;
    PortRecord& port;
    ConnectionSlot& slot;
    SerialDevice& device;
    bool mayChange;  // logged in on an open line
};

std::string Byte(int value) {
    return std::string(1, static_cast<char>(value));
}

// The four parts of a line settings text, trimmed, the parity letter in lower case (the store
// may hold " 9600, E ,8,1").
std::vector<std::string> LineParts(const std::string& settings) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = settings.find(',', from);
        parts.push_back(console::Trim(std::string_view(settings).substr(
            from, comma == std::string::npos ? std::string::npos : comma - from)));
        if (parts.size() == 2) {
            parts.back() = console::ToLower(parts.back());
        }
        if (comma == std::string::npos) {
            break;
        }
        from = comma + 1;
    }
    parts.resize(4);
    return parts;
}

// The change is traced and logged as made by the client; a client that changes the line
// without pause does not flood the event log.
void Note(const Client& c, const std::string& what) {
    TraceIfOn(c.ctx, c.portIndex, kTraceSerialEvent,
              "RFC 2217 (Index " + Num(ConnNoOf(c.index)) + "): " + what);
    ComPortState& state = c.slot.ComPort;
    const DateTime now = c.ctx.clock.NowUtc();
    if (state.LogMinute + Minutes(1) < now) {
        state.LogMinute = now;
        state.LoggedInMinute = 0;
    }
    if (++state.LoggedInMinute > kChangesLoggedPerMinute + 1) {
        return;
    }
    const std::string who = "Serial Port " + Num(c.port.PortNumber) + ": connection " +
                            Num(ConnNoOf(c.index)) + " from " + c.slot.PeerAddress;
    if (state.LoggedInMinute > kChangesLoggedPerMinute) {
        c.ctx.log.Information(who +
                              " changes the line often; further changes within the "
                              "minute are not logged (RFC 2217).");
        return;
    }
    c.ctx.log.Information(who + " " + what + " (RFC 2217).");
}

// Puts one part of the line settings on the line; a part the line cannot take is refused.
void ChangeLinePart(const Client& c, std::size_t part, const std::string& value, const char* name,
                    std::string_view shown) {
    std::vector<std::string> parts = LineParts(c.device.Settings());
    if (parts[part] == value) {
        return;
    }
    parts[part] = value;
    const std::string text = parts[0] + "," + parts[1] + "," + parts[2] + "," + parts[3];
    if (console::LineSettingsProblem(text)) {
        return;
    }
    try {
        c.device.SetSettings(text);
        Note(c, std::string("set the ") + name + " to " + std::string(shown));
    } catch (const SerialError& e) {
        c.ctx.log.LogError("M2S30 Serial Port " + Num(c.port.PortNumber) + ": " + e.what());
    }
}

template <typename Set>
void ChangeLine(const Client& c, const std::string& what, Set&& set) {
    try {
        set();
        Note(c, what);
    } catch (const SerialError& e) {
        c.ctx.log.LogError("M2S30 Serial Port " + Num(c.port.PortNumber) + ": " + e.what());
    }
}

std::string BaudAnswer(const Client& c) {
    const long baud = std::stol(LineParts(c.device.Settings())[0]);
    const auto b = static_cast<unsigned long>(baud);
    return std::string{static_cast<char>((b >> 24) & 255), static_cast<char>((b >> 16) & 255),
                       static_cast<char>((b >> 8) & 255), static_cast<char>(b & 255)};
}

int ParityCode(const Client& c) {
    const std::string p = LineParts(c.device.Settings())[1];
    const std::size_t at = p.empty() ? std::string::npos : kParities.find(p[0]);
    return at == std::string::npos ? 1 : static_cast<int>(at) + 1;
}

int StopCode(const Client& c) {
    const std::string s = LineParts(c.device.Settings())[3];
    return s == "2" ? 2 : (s == "1.5" ? 3 : 1);
}

// Flow control codes of SET-CONTROL: outbound 1..3 (inbound adds 13); the device's
// handshaking covers both directions.
int FlowCode(const Client& c) {
    switch (c.device.Handshaking()) {
        case 1:
            return 2;
        case 2:
        case 3:
            return 3;
        default:
            return 1;
    }
}

int SetControl(const Client& c, int code) {
    static constexpr std::array<const char*, 3> kFlowNames{"none", "XON/XOFF", "RTS/CTS"};
    const auto flow = [&](int mode) {
        if (c.mayChange && c.device.Handshaking() != mode) {
            ChangeLine(c, std::string("set flow control to ") + kFlowNames[mode],
                       [&] { c.device.SetHandshaking(mode); });
        }
    };
    const auto line = [&](bool now, bool on, const char* name, auto set) {
        if (c.mayChange && now != on) {
            ChangeLine(c, std::string("set ") + name + (on ? " on" : " off"), [&] { set(on); });
        }
    };
    switch (code) {
        case 1:
        case 2:
        case 3:
            flow(code - 1);
            return FlowCode(c);
        case 14:
        case 15:
        case 16:
            flow(code - 14);
            return FlowCode(c) + 13;
        case 13:
            return FlowCode(c) + 13;
        case 5:
        case 6:
            line(c.device.Break(), code == 5, "break", [&](bool on) { c.device.SetBreak(on); });
            [[fallthrough]];
        case 4:
            return c.device.Break() ? 5 : 6;
        case 8:
        case 9:
            line(c.device.DTREnable(), code == 8, "DTR",
                 [&](bool on) { c.device.SetDTREnable(on); });
            [[fallthrough]];
        case 7:
            return c.device.DTREnable() ? 8 : 9;
        case 11:
        case 12:
            line(c.device.RTSEnable(), code == 11, "RTS",
                 [&](bool on) { c.device.SetRTSEnable(on); });
            [[fallthrough]];
        case 10:
            return c.device.RTSEnable() ? 11 : 12;
        default:
            return FlowCode(c);  // DCD, DTR and DSR flow control are not offered
    }
}

void Command(Client& c, unsigned char command, std::string_view value) {
    const auto one = [&](int& out) {
        if (value.size() != 1) {
            return false;
        }
        out = static_cast<unsigned char>(value[0]);
        return true;
    };
    int v = 0;
    std::string answer;
    switch (command) {
        case kSignature:
            if (!value.empty()) {
                if (!c.slot.ComPort.SignatureLogged) {
                    c.slot.ComPort.SignatureLogged = true;
                    c.ctx.log.Information("Serial Port " + Num(c.port.PortNumber) +
                                          ": connection " + Num(ConnNoOf(c.index)) + " from " +
                                          c.slot.PeerAddress + " is '" + EscapeForeignText(value) +
                                          "' (RFC 2217).");
                }
                return;
            }
            answer = "Tolvan Server " + Num(TOLVAN_VERSION_MAJOR) + "." +
                     Num(TOLVAN_VERSION_MINOR) + "." + Num(TOLVAN_VERSION_REVISION);
            break;
        case kSetBaudRate: {
            if (value.size() != 4) {
                return;
            }
            unsigned long baud = 0;
            for (const char b : value) {
                baud = (baud << 8) | static_cast<unsigned char>(b);
            }
            if (baud != 0 && c.mayChange) {
                ChangeLinePart(c, 0, std::to_string(baud), "baud rate", std::to_string(baud));
            }
            answer = BaudAnswer(c);
            break;
        }
        case kSetDataSize:
            if (!one(v)) {
                return;
            }
            if (v >= 5 && v <= 8 && c.mayChange) {
                ChangeLinePart(c, 2, std::to_string(v), "data bits", std::to_string(v));
            }
            answer = LineParts(c.device.Settings())[2];
            answer = Byte(std::atoi(answer.c_str()));
            break;
        case kSetParity:
            if (!one(v)) {
                return;
            }
            if (v >= 1 && v <= 5 && c.mayChange) {
                static constexpr std::array<const char*, 5> kParityNames{"none", "odd", "even",
                                                                         "mark", "space"};
                const auto i = static_cast<std::size_t>(v - 1);
                ChangeLinePart(c, 1, std::string(1, kParities[i]), "parity", kParityNames[i]);
            }
            answer = Byte(ParityCode(c));
            break;
        case kSetStopSize:
            if (!one(v)) {
                return;
            }
            if (v >= 1 && v <= 3 && c.mayChange) {
                const std::string stop = v == 1 ? "1" : (v == 2 ? "2" : "1.5");
                ChangeLinePart(c, 3, stop, "stop bits", stop);
            }
            answer = Byte(StopCode(c));
            break;
        case kSetControl:
            if (!one(v)) {
                return;
            }
            answer = Byte(SetControl(c, v));
            break;
        case kNotifyLineState:
            answer = Byte(0);  // line events are told as they happen; none is pending
            break;
        case kNotifyModemState:
            answer = Byte(c.device.ModemLines() & c.slot.ComPort.ModemMask);
            break;
        case kFlowSuspend:
            c.slot.ComPort.Suspended = true;
            return;  // an answer would ask the client to suspend in turn
        case kFlowResume: {
            c.slot.ComPort.Suspended = false;
            const std::string held = std::move(c.slot.ComPort.Held);
            c.slot.ComPort.Held.clear();
            if (!held.empty()) {
                SendToConnection(c.ctx, c.index, held);
            }
            return;
        }
        case kSetLineStateMask:
            if (!one(v)) {
                return;
            }
            c.slot.ComPort.LineMask = static_cast<uint8_t>(v);
            answer = Byte(v);
            break;
        case kSetModemStateMask:
            if (!one(v)) {
                return;
            }
            c.slot.ComPort.ModemMask = static_cast<uint8_t>(v);
            UpdateModemWatch(c.ctx, c.portIndex);
            answer = Byte(v);
            break;
        case kPurgeData:
            if (!one(v) || v < 1 || v > 3) {
                return;
            }
            if (c.mayChange) {
                ChangeLine(c,
                           v == 1 ? "purged the received data"
                                  : (v == 2 ? "purged the unsent data" : "purged both buffers"),
                           [&] { c.device.Purge(v != 2, v != 1); });
            }
            answer = Byte(v);
            break;
        default:
            return;  // not a client command
    }
    SendToLineClient(c.ctx, c.index, ComPortMessage(command, answer));
}

}  // namespace

std::string ComPortMessage(unsigned char command, std::string_view value) {
    std::string out{static_cast<char>(kIac), static_cast<char>(kSb),
                    static_cast<char>(kOptionComPort), static_cast<char>(command + kAnswer)};
    for (const char c : value) {
        out.push_back(c);
        if (static_cast<unsigned char>(c) == kIac) {
            out.push_back(c);
        }
    }
    out.push_back(static_cast<char>(kIac));
    out.push_back(static_cast<char>(kSe));
    return out;
}

bool LineControlOn(const PortRecord& port) {
    return port.Rfc2217 && port.ServiceType == 0;
}

bool SendToLineClient(ServerContext& ctx, int index, std::string_view bytes) {
    ConnectionSlot& slot = SlotAt(PortAt(ctx, PortIndexOf(index)), ConnNoOf(index));
    if (!slot.ComPort.Suspended) {
        return SendToConnection(ctx, index, bytes);
    }
    // Held bytes count like unread ones: a client that never resumes is let go at the hard
    // limit.
    if (slot.ComPort.Held.size() + bytes.size() >= ctx.settings.Output.Hard) {
        ctx.log.LogError("M2S13 Connection " + Num(ConnNoOf(index)) + " of Serial Port " +
                         Num(PortAt(ctx, PortIndexOf(index)).PortNumber) +
                         " suspended our sending and is far behind; closing it.");
        CloseConnection(ctx, PortIndexOf(index), ConnNoOf(index), CloseReason::OutputHardLimit);
        return false;
    }
    slot.ComPort.Held.append(bytes);
    return true;
}

void ComPortCommand(ServerContext& ctx, int index, std::string_view sub) {
    const int portIndex = PortIndexOf(index);
    try {
        PortRecord& port = PortAt(ctx, portIndex);
        ConnectionSlot& slot = SlotAt(port, ConnNoOf(index));
        if (!LineControlOn(port) || !slot.InUse || sub.size() < 2 ||
            static_cast<unsigned char>(sub[0]) != kOptionComPort ||
            !ctx.SerialIO.Exists(portIndex)) {
            return;
        }
        SerialDevice& device = ctx.SerialIO.Get(portIndex);
        Client c{ctx,
                 index,
                 portIndex,
                 port,
                 slot,
                 device,
                 slot.Authenticated != 0 && device.PortOpen()};
        Command(c, static_cast<unsigned char>(sub[1]), sub.substr(2));
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M2S30 ") + e.what());
    }
}

}  // namespace tolvan
