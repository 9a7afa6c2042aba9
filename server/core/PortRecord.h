#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "console_protocol/PortSettingsTable.h"
#include "server/core/AddressLockouts.h"
#include "server/core/DateTime.h"
#include "server/core/LogFile.h"

namespace tolvan {

// Where the telnet command parser of a connection stands between two received chunks.
struct TelnetState {
    uint8_t Phase = 0;        // the parser's own phase codes; 0 = plain data
    uint8_t Verb = 0;         // the option verb awaiting its option byte
    uint8_t Local = 0;        // options this side agreed to use (the parser's option bits)
    uint8_t Remote = 0;       // options the peer agreed to use
    bool SubDropped = false;  // the subnegotiation so far is too long or malformed
    std::string Sub;          // the subnegotiation so far, IAC doubling undone
};

// What a client that controls the line (telnet COM-PORT-OPTION) asked of its connection.
struct ComPortState {
    uint8_t LineMask = 0;     // line events it wants to be told of
    uint8_t ModemMask = 255;  // modem line changes it wants to be told of
    bool Suspended = false;   // it asked us to stop sending for now
    bool SignatureLogged = false;
    DateTime LogMinute = kZeroDate;  // UTC start of the minute whose changes are being logged
    int LoggedInMinute = 0;
    std::string Held;  // what it was not sent while suspended
};

// Where the password line of a connection stands between two received chunks.
struct PasswordLineState {
    bool EndSeen = false;   // the last byte ended a line; an LF or NUL after it belongs to it
    bool Overlong = false;  // the line was too long and counted; the rest of it is dropped
};

// One data connection's state. Element 0 of a port's Connections never holds a connection.
struct ConnectionSlot {
    bool InUse = false;
    bool AcceptInput = false;
    int32_t Authenticated = 0;   // 0 waiting, 1 admitted
    std::string PasswordBuffer;  // the password line so far
    PasswordLineState PasswordLine;
    std::string PeerAddress;  // the client's address, server mode
    int16_t BadPasswordCount = 0;
    DateTime ConnectTime = kZeroDate;       // local
    DateTime IdleExpires = kZeroDate;       // UTC
    DateTime KeepAliveExpires = kZeroDate;  // UTC
    DateTime OverSoftSince = kZeroDate;     // UTC; when its unread output passed the soft limit
    TelnetState Telnet;
    ComPortState ComPort;
};

// Counter indexes.
enum CounterIndex : int {
    kCounterFraming = 0,
    kCounterOverrun = 1,
    kCounterRxOverflow = 2,
    kCounterParity = 3,
    kCounterFromSerial = 4,
    kCounterToSerial = 5,
    kCounterInvalidPasswords = 6,
    kCounterConnections = 7,
    kCounterTimerEnded = 8,
    kCounterTxFull = 9,
};
inline constexpr int kCounterCount = 10;
inline constexpr int kMaxSlotsPerPort = 15;

// One serial port found at start: its persisted settings and its live state.
struct PortRecord : console::PortSettingValues {
    uint8_t PortNumber = 0;                   // COM number 1..16, the store key's number
    std::vector<ConnectionSlot> Connections;  // 0..MaxConnections (server), 0..1 (client)
    std::array<int32_t, kCounterCount> Counters{};
    DateTime CountersResetTime = kZeroDate;
    DateTime ListenerShutdownTime = kZeroDate;
    bool TraceOn = false;
    bool LogToFile = false;  // LogHandle is open and takes the port's traffic
    TrafficLogFile LogHandle;
    std::string PendingData;
    AddressLockouts Lockouts;  // failed logins per source address, server mode
    // Why the port is out of service or not listening although it was set up to run; empty
    // while nothing failed since the port was last applied.
    std::string FailureReason;
    uint8_t ModemLines = 0;     // the modem lines last told to clients (COM-PORT-OPTION bits)
    bool ModemWatched = false;  // the device reports modem line changes

    // Highest slot number of Connections (its upper bound).
    int UpperSlot() const {
        return Connections.empty() ? 0 : static_cast<int>(Connections.size()) - 1;
    }
};

using Ports = std::vector<PortRecord>;

}  // namespace tolvan
