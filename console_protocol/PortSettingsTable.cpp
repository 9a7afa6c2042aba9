#include "console_protocol/PortSettingsTable.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>

#include "console_protocol/TextForms.h"

namespace tolvan::console {

namespace {

using V = PortSettingValues;
using K = SettingKind;
using View = SettingView;

constexpr long long kMinutesPerYear = 525600;

constexpr PortSettingRow kRows[] = {
    {"Settings", "Settings", &V::Settings, kFieldBaudRate, K::LineSettings, 0, 0, "9600,n,8,1",
     false, View::Choice},
    {"Enabled", "Enabled", &V::Enabled, kFieldEnabled, K::Boolean, 0, 0, "False", true,
     View::Check},
    {"AcceptInput", "AcceptInput", &V::AcceptInput, kFieldAcceptInput, K::Boolean, 0, 0, "True",
     true, View::Check},
    {"MaxConnections", "MaxConnections", &V::MaxConnections, kFieldMaxConnections, K::Number, 1, 15,
     "3", true, View::Number},
    {"DTREnable", "DTREnable", &V::DTREnable, kFieldDTREnable, K::Boolean, 0, 0, "True", true,
     View::Check},
    {"RTSEnable", "RTSEnable", &V::RTSEnable, kFieldRTSEnable, K::Boolean, 0, 0, "True", true,
     View::Check},
    {"InBufferSize", "InBufferSize", &V::InBufferSize, kFieldInBufferSize, K::Number, 1, 32767,
     "2048", true, View::Choice},
    {"OutBufferSize", "OutBufferSize", &V::OutBufferSize, kFieldOutBufferSize, K::Number, 1, 32767,
     "1024", true, View::Choice},
    {"Handshaking", "Handshaking", &V::Handshaking, kFieldHandshaking, K::Number, 0, 3, "0", true,
     View::Choice},
    {"ConnectPassword", "ConnectPassword", &V::ConnectPassword, kFieldConnectPassword, K::Text, 0,
     0, "", false, View::Password},
    {"MaxPasswordAttemps", "MaxPasswordAttemps", &V::MaxPasswordAttemps, kFieldMaxPasswordAttemps,
     K::Number, 0, 255, "4", true, View::Number},
    {"BadPasswordShutdownLength", "BadPasswordShutdownLength", &V::BadPasswordShutdownLength,
     kFieldBadPasswordShutdownLength, K::Number, 0, kMinutesPerYear, "600", true, View::Number},
    {"MaxIdleTime", "MaxIdletime", &V::MaxIdleTime, kFieldMaxIdleTime, K::Number, 0,
     kMinutesPerYear, "0", true, View::Number},
    {"LogFile", "LogFile", &V::LogFile, kFieldLogFile, K::Text, 0, 0, "", true, View::Text},
    {"ServiceType", "ServiceType", &V::ServiceType, kFieldServiceType, K::PortUse, 0, 255, "0",
     true, View::Choice},
    {"RemoteIP", "RemoteIP", &V::RemoteIP, kFieldRemoteIP, K::Text, 0, 0, "", true, View::Host},
    {"RemotePort", "RemotePort", &V::RemotePort, kFieldRemotePort, K::Number, 0, 65535, "0", true,
     View::Port},
    {"AllwaysConnected", "AllwaysConnected", &V::AllwaysConnected, kFieldAllwaysConnected,
     K::Boolean, 0, 0, "False", true, View::Check},
    {"PortDescription", "PortDescription", &V::PortDescription, kFieldPortDescription, K::Text, 0,
     0, "", true, View::Text},
    {"KeepAliveTimeout", "KeepAliveTimeout", &V::KeepAliveTimeout, kStoredOnly, K::Number, 0, 32767,
     "900", true, View::StoredOnly},
    {"Rfc2217", "Rfc2217", &V::Rfc2217, kStoredOnly, K::Boolean, 0, 0, "False", true,
     View::StoredOnly},
};

constexpr std::array<long, 30> kBaudRates{
    50,     75,     110,     134,     150,     200,     300,     600,     1200,    1800,
    2400,   4800,   9600,    19200,   38400,   57600,   115200,  230400,  460800,  500000,
    576000, 921600, 1000000, 1152000, 1500000, 2000000, 2500000, 3000000, 3500000, 4000000,
};

std::string Describe(const PortSettingRow& row, std::string_view text, std::string_view accepts) {
    return "invalid " + std::string(row.name) + " '" + std::string(text) +
           "': " + std::string(accepts);
}

std::vector<std::string> SplitCommas(std::string_view text) {
    std::vector<std::string> parts;
    for (;;) {
        const std::size_t comma = text.find(',');
        parts.push_back(Trim(text.substr(0, comma)));
        if (comma == std::string_view::npos) {
            return parts;
        }
        text.remove_prefix(comma + 1);
    }
}

bool WholeNumber(std::string_view text, long& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// Text settings other than the description travel before the last field, where a "|"
// would shift every field after it.
bool MaySeparate(const PortSettingRow& row) {
    return row.wireField == kFieldPortDescription || row.wireField == kStoredOnly;
}

}  // namespace

std::span<const PortSettingRow> PortSettingRows() {
    return kRows;
}

std::span<const long> BaudRates() {
    return kBaudRates;
}

const PortSettingRow* FindPortSetting(std::string_view name) {
    for (const PortSettingRow& row : kRows) {
        if (EqualsIgnoringCase(row.name, name)) {
            return &row;
        }
    }
    return nullptr;
}

std::string StoredText(const PortSettingValues& values, const PortSettingRow& row) {
    return std::visit(
        [&](auto member) -> std::string {
            const auto& value = values.*member;
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, bool>) {
                return BooleanText(value);
            } else if constexpr (std::is_same_v<T, int32_t>) {
                if (row.kind == SettingKind::PortUse) {
                    return value != 0 ? "1" : "0";
                }
                return std::to_string(value);
            } else {
                return row.trimmed ? Trim(value) : value;
            }
        },
        row.member);
}

std::optional<std::string> LineSettingsProblem(std::string_view text) {
    const std::vector<std::string> parts = SplitCommas(text);
    long baud = 0;
    long dataBits = 0;
    if (parts.size() != 4) {
        return "line settings '" + std::string(text) +
               "' are not baud,parity,data bits,stop bits (for example 9600,n,8,1)";
    }
    if (!WholeNumber(parts[0], baud) ||
        std::find(kBaudRates.begin(), kBaudRates.end(), baud) == kBaudRates.end()) {
        return "baud rate '" + parts[0] + "' is not one of 50 to 4000000 a line can be set to";
    }
    if (parts[1].size() != 1 ||
        std::string_view("neomsNEOMS").find(parts[1][0]) == std::string_view::npos) {
        return "parity '" + parts[1] + "' is not one of n, e, o, m, s";
    }
    if (!WholeNumber(parts[2], dataBits) || dataBits < 5 || dataBits > 8) {
        return "data bits '" + parts[2] + "' are not 5 to 8";
    }
    if (parts[3] != "1" && parts[3] != "1.5" && parts[3] != "2") {
        return "stop bits '" + parts[3] + "' are not 1, 1.5 or 2";
    }
    return std::nullopt;
}

std::optional<std::string> SetFromText(PortSettingValues& values, const PortSettingRow& row,
                                       std::string_view text) {
    switch (row.kind) {
        case SettingKind::Boolean: {
            const std::optional<bool> value = ParseBooleanField(text);
            if (!value) {
                return Describe(row, text, "accepts True or False");
            }
            values.*std::get<bool V::*>(row.member) = *value;
            return std::nullopt;
        }
        case SettingKind::Number:
        case SettingKind::PortUse: {
            const std::optional<long long> value = RoundedInteger(text, row.min, row.max);
            if (!value) {
                return Describe(row, text,
                                "accepts a whole number from " + std::to_string(row.min) + " to " +
                                    std::to_string(row.max));
            }
            int32_t number = static_cast<int32_t>(*value);
            if (row.kind == SettingKind::PortUse) {
                number = number != 0 ? 1 : 0;
            }
            values.*std::get<int32_t V::*>(row.member) = number;
            return std::nullopt;
        }
        case SettingKind::LineSettings:
            if (const auto problem = LineSettingsProblem(text)) {
                return "invalid Settings: " + *problem;
            }
            break;
        case SettingKind::Text:
            if (!MaySeparate(row) && text.find('|') != std::string_view::npos) {
                return Describe(row, text, "may not contain '|'");
            }
            break;
    }
    values.*std::get<std::string V::*>(row.member) = row.trimmed ? Trim(text) : std::string(text);
    return std::nullopt;
}

std::optional<StoreProblem> LoadFromStore(PortSettingValues& values, const PortSettingRow& row,
                                          const std::optional<std::string>& stored) {
    if (!stored) {
        SetFromText(values, row, row.defaultText);
        return std::nullopt;
    }
    auto problem = SetFromText(values, row, *stored);
    if (!problem) {
        return std::nullopt;
    }
    std::string used(row.defaultText);
    const auto number = RoundedInteger(*stored, LLONG_MIN, LLONG_MAX);
    if (row.kind == SettingKind::Number && number) {
        used = std::to_string(std::clamp(*number, row.min, row.max));
    }
    SetFromText(values, row, used);
    return StoreProblem{std::move(*problem), std::move(used)};
}

PortSettingValues DefaultPortSettings() {
    PortSettingValues values;
    for (const PortSettingRow& row : kRows) {
        SetFromText(values, row, row.defaultText);
    }
    return values;
}

std::vector<std::string> SettingsFields(int portIndex, int portNumber,
                                        const PortSettingValues& values, BooleanSpelling spelling) {
    std::vector<std::string> fields(kSettingsFieldCount);
    fields[kFieldPort] = std::to_string(portIndex);
    fields[kFieldPortNumber] = std::to_string(portNumber);
    for (const PortSettingRow& row : kRows) {
        if (row.wireField == kStoredOnly) {
            continue;
        }
        std::string& field = fields[static_cast<std::size_t>(row.wireField)];
        switch (row.kind) {
            case SettingKind::Boolean: {
                const bool value = values.*std::get<bool V::*>(row.member);
                field = spelling == BooleanSpelling::Report ? BooleanText(value)
                                                            : RequestBooleanText(value);
                break;
            }
            case SettingKind::PortUse:
                field = values.*std::get<int32_t V::*>(row.member) != 0 ? "Client" : "Server";
                break;
            case SettingKind::LineSettings: {
                const std::string& text = values.*std::get<std::string V::*>(row.member);
                const std::size_t comma = text.find(',');
                field = Trim(std::string_view(text).substr(0, comma));
                fields[kFieldLineFormat] =
                    comma == std::string::npos ? std::string() : Trim(text.substr(comma + 1));
                break;
            }
            case SettingKind::Text:
                field = Trim(values.*std::get<std::string V::*>(row.member));
                break;
            case SettingKind::Number:
                field = StoredText(values, row);
                break;
        }
    }
    return fields;
}

std::optional<std::string> ParseSettingsFields(const std::vector<std::string>& fields,
                                               PortSettingValues& values) {
    if (fields.size() != static_cast<std::size_t>(kSettingsFieldCount)) {
        return "port settings with " + std::to_string(fields.size()) + " fields instead of " +
               std::to_string(kSettingsFieldCount);
    }
    PortSettingValues parsed = values;
    for (const PortSettingRow& row : kRows) {
        if (row.wireField == kStoredOnly) {
            continue;
        }
        std::string text = fields[static_cast<std::size_t>(row.wireField)];
        if (row.kind == SettingKind::LineSettings) {
            text += "," + fields[kFieldLineFormat];
        } else if (row.kind == SettingKind::PortUse) {
            text = EqualsIgnoringCase(Trim(text), "Server") ? "0" : "1";
        }
        if (auto problem = SetFromText(parsed, row, text)) {
            return problem;
        }
    }
    values = std::move(parsed);
    return std::nullopt;
}

}  // namespace tolvan::console
