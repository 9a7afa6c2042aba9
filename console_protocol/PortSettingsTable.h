#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tolvan::console {

// The persisted settings of one port, as the server, the configurator and tolvanctl hold them.
// A fresh value is all zero, empty or false; the defaults live in the table below.
struct PortSettingValues {
    std::string Settings;  // line settings "baud,parity,data bits,stop bits"
    bool Enabled = false;
    bool AcceptInput = false;
    int32_t MaxConnections = 0;
    bool DTREnable = false;
    bool RTSEnable = false;
    int32_t InBufferSize = 0;
    int32_t OutBufferSize = 0;
    int32_t Handshaking = 0;  // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both
    std::string ConnectPassword;
    int32_t MaxPasswordAttemps = 0;         // 0: no limit
    int32_t BadPasswordShutdownLength = 0;  // minutes
    int32_t MaxIdleTime = 0;                // minutes, 0: no limit
    std::string LogFile;
    int32_t ServiceType = 0;  // 0 server (listen), 1 client (connect out)
    std::string RemoteIP;
    int32_t RemotePort = 0;
    bool AllwaysConnected = false;
    std::string PortDescription;
    int32_t KeepAliveTimeout = 0;  // seconds, 0: off
    bool Rfc2217 = false;          // clients may control the line (telnet COM-PORT-OPTION)

    bool operator==(const PortSettingValues&) const = default;
};

// Positions of the fields of a port settings update and report.
enum SettingsField : int {
    kFieldPort = 0,  // the port's index in the port list
    kFieldEnabled,
    kFieldAcceptInput,
    kFieldMaxConnections,
    kFieldPortNumber,  // the COM number
    kFieldDTREnable,
    kFieldRTSEnable,
    kFieldInBufferSize,
    kFieldOutBufferSize,
    kFieldBaudRate,    // first part of Settings
    kFieldLineFormat,  // the rest of Settings: "n,8,1"
    kFieldHandshaking,
    kFieldMaxPasswordAttemps,
    kFieldBadPasswordShutdownLength,
    kFieldMaxIdleTime,
    kFieldConnectPassword,
    kFieldLogFile,
    kFieldAllwaysConnected,
    kFieldRemoteIP,
    kFieldRemotePort,
    kFieldServiceType,  // "Server" or "Client"
    kFieldPortDescription,
    kSettingsFieldCount,
};
inline constexpr int kStoredOnly = -1;  // a setting no console update carries

enum class SettingKind {
    Boolean,       // "True"/"False" (any case) or a number, 0 being false
    Number,        // a decimal whole number within min..max
    Text,          // any text
    LineSettings,  // "baud,parity,data bits,stop bits"; two fields on the wire
    PortUse,       // stored 0/1, "Server"/"Client" on the wire
};

// How an editor shows the setting.
enum class SettingView { Check, Number, Choice, Text, Password, Host, Port, StoredOnly };

using SettingMember = std::variant<bool PortSettingValues::*, int32_t PortSettingValues::*,
                                   std::string PortSettingValues::*>;

struct PortSettingRow {
    std::string_view name;      // the store's value name (also tolvanctl's)
    std::string_view saveName;  // spelling the saver writes (names compare without case)
    SettingMember member;
    int wireField;  // position in an update and report, or kStoredOnly
    SettingKind kind;
    long long min;  // Number only
    long long max;
    std::string_view defaultText;
    bool trimmed;  // surrounding blanks dropped on load, save and report
    SettingView view;
};

// Every persisted port setting, in the order they are loaded.
std::span<const PortSettingRow> PortSettingRows();

// The row of a store value name (letter case ignored), or nullptr.
const PortSettingRow* FindPortSetting(std::string_view name);

// The setting's stored text form ("True", "115200,n,8,1", "1" for client mode).
std::string StoredText(const PortSettingValues& values, const PortSettingRow& row);

// Takes a stored or typed text for the setting. Returns why it cannot be taken (naming the
// setting and what it accepts), leaving values unchanged; nothing when it was taken.
std::optional<std::string> SetFromText(PortSettingValues& values, const PortSettingRow& row,
                                       std::string_view text);

// Takes a setting as the store holds it (nothing when the value is missing): the default when
// missing, the nearest bound for a number beyond its range, the default for anything else the
// setting cannot take. Returns the problem with the stored text, and the text used instead.
struct StoreProblem {
    std::string problem;
    std::string used;
};
std::optional<StoreProblem> LoadFromStore(PortSettingValues& values, const PortSettingRow& row,
                                          const std::optional<std::string>& stored);

// Every setting at its default.
PortSettingValues DefaultPortSettings();

// The fields of a port settings report or update. Booleans are spelled "True"/"False" in
// reports and "TRUE"/"FALSE" in the configurator's updates; the server reads both.
enum class BooleanSpelling { Report, Request };
std::vector<std::string> SettingsFields(int portIndex, int portNumber,
                                        const PortSettingValues& values,
                                        BooleanSpelling spelling = BooleanSpelling::Report);

// Reads the settings fields of an update or report (kSettingsFieldCount of them, as split)
// into values. Returns why the first bad field cannot be taken; values are changed only when
// every field was good. Fields 0 and kFieldPortNumber are the caller's to check.
std::optional<std::string> ParseSettingsFields(const std::vector<std::string>& fields,
                                               PortSettingValues& values);

// Why a line settings text is not one the server can put on a line, or nothing when it is:
// a baud rate from BaudRates(), parity n/e/o/m/s, 5 to 8 data bits, 1, 1.5 or 2 stop bits.
std::optional<std::string> LineSettingsProblem(std::string_view text);

// The baud rates a line can be set to.
std::span<const long> BaudRates();

}  // namespace tolvan::console
