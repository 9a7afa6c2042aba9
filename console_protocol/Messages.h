#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tolvan::console {

// Message codes. The same code is a request from the configurator and a report from the server.
inline constexpr std::string_view kCodePortSettings = "D1";     // update / report
inline constexpr std::string_view kCodeSettingsRequest = "D2";  // request
inline constexpr std::string_view kCodeConnectionCount = "D2";  // report
inline constexpr std::string_view kCodePortList = "D3";         // request / report
inline constexpr std::string_view kCodeConnectionList = "D5";   // request / report
inline constexpr std::string_view kCodeDisconnect = "D6";       // request only
inline constexpr std::string_view kCodeStatistics = "D7";       // request / report
inline constexpr std::string_view kCodeStatisticsReset = "D8";  // request only
inline constexpr std::string_view kCodeTrace = "DA";            // switch request / event report
inline constexpr std::string_view kCodeVersion = "DB";          // request / report
inline constexpr std::string_view kCodePortState = "DC";        // request / report
inline constexpr std::string_view kCodeRefused = "DE";          // report only, then closed

// Trace event report: port, port number, kind, text; split limit 4 (the text may hold "|").
inline constexpr int kTraceFieldCount = 4;
// Connection list report: port, count, then this many fields per connection; a peer may
// append the remote port as one more field per connection.
inline constexpr int kConnectionFieldCount = 5;
inline constexpr int kConnectionFieldCountWithPort = 6;
// Refusal of a console connection: reason ("not-permitted", "full"), text; split limit 2.
inline constexpr int kRefusalFieldCount = 2;
// Port statistics report: port, reset time, ten counters.
inline constexpr int kStatisticsFieldCount = 12;
// Port state report: port, state, end of a lock-out, detail; split limit 4 (the detail is
// free text: a device path, a remote host and port, or why the port failed).
inline constexpr int kPortStateFieldCount = 4;
// The states of a port state report.
inline constexpr std::string_view kStateListening = "listening";
inline constexpr std::string_view kStateLockedOut = "locked-out";
inline constexpr std::string_view kStateConnecting = "connecting";
inline constexpr std::string_view kStateConnected = "connected";
inline constexpr std::string_view kStateDisabled = "disabled";
inline constexpr std::string_view kStateFailed = "failed";
// Why the server will not serve a console connection ("DE", field 0); field 1 is a text for
// the operator. The connection is closed after it.
inline constexpr std::string_view kRefusedNotPermitted = "not-permitted";
inline constexpr std::string_view kRefusedFull = "full";
// Field 0 of a connection count notice that answers a port list request.
inline constexpr int kCountAfterPortList = -2;

inline constexpr std::string_view kReleaseDate = "Mar 18, 2005";

// Fields joined with "|"; the last field gets no separator.
std::string JoinFields(const std::vector<std::string>& fields);

// "1.0.7|Release Date Mar 18, 2005"
std::string VersionPayload(int major, int minor, int revision);

// "3|ON|" or "3|OFF|": the trailing "|" leaves an empty third field.
std::string TraceSwitchPayload(int port, bool on);

// "3|2": port and connection number.
std::string DisconnectPayload(int port, int connNo);

// port | state | until | detail (the detail may contain "|").
std::string PortStatePayload(int port, std::string_view state, std::string_view until,
                             std::string_view detail);

// A port state as an operator reads it: "listening", "locked out until 2026-03-01 10:00:00",
// "connected to 10.0.0.5:4001", "could not be opened: ...".
std::string DescribePortState(std::string_view state, std::string_view until,
                              std::string_view detail);

// Why the console refused a connection, from the fields of its "DE" report, as an operator
// reads it: "not permitted: not in the console group (...)", "the console is busy: ...".
std::string DescribeRefusal(std::string_view reason, std::string_view text);

// port | port number | kind | text (the text may contain "|", CR and LF).
std::string TraceEventPayload(int port, int portNumber, int kind, std::string_view text);

}  // namespace tolvan::console
