// show, set, enable and disable: a port's settings by their store names.

#include <map>
#include <optional>

#include "console_protocol/Messages.h"
#include "console_protocol/PortSettingsTable.h"
#include "console_protocol/TextForms.h"
#include "tolvanctl/Commands.h"
#include "tolvanctl/CtlError.h"
#include "tolvanctl/JsonWriter.h"
#include "tolvanctl/PortQueries.h"
#include "tolvanctl/StoreAccess.h"

namespace tolvan::ctl {

namespace {

using console::PortSettingRow;
using console::PortSettingValues;
using console::SettingKind;
using Fields = std::vector<std::string>;

constexpr long long kLowestRemotePort = 1;

// The settings a port settings update carries, in table order.
std::vector<const PortSettingRow*> ConsoleRows() {
    std::vector<const PortSettingRow*> rows;
    for (const PortSettingRow& row : console::PortSettingRows()) {
        if (row.wireField != console::kStoredOnly) {
            rows.push_back(&row);
        }
    }
    return rows;
}

std::string ValidNames() {
    std::string names;
    for (const PortSettingRow* row : ConsoleRows()) {
        names += (names.empty() ? "" : ", ") + std::string(row->name);
    }
    return names;
}

// The setting's text as the report carries it, in the form the table reads.
std::string WireText(const Fields& fields, const PortSettingRow& row) {
    const std::string& field = fields[static_cast<std::size_t>(row.wireField)];
    if (row.kind == SettingKind::LineSettings) {
        return field + "," + fields[console::kFieldLineFormat];
    }
    if (row.kind == SettingKind::PortUse) {
        return console::EqualsIgnoringCase(console::Trim(field), "Server") ? "0" : "1";
    }
    return field;
}

// One reported setting: its stored form, and its value when the table can read it.
struct Shown {
    const PortSettingRow* row;
    std::string text;
    std::optional<PortSettingValues> value;
};

std::vector<Shown> ShownSettings(const Fields& fields) {
    std::vector<Shown> shown;
    for (const PortSettingRow* row : ConsoleRows()) {
        const std::string text = WireText(fields, *row);
        PortSettingValues value = console::DefaultPortSettings();
        if (console::SetFromText(value, *row, text)) {
            shown.push_back({row, text, std::nullopt});  // shown as the server sent it
        } else {
            shown.push_back({row, console::StoredText(value, *row), value});
        }
    }
    return shown;
}

// The settings no console report carries, read from the store as the server reads them at
// start and reload.
std::vector<Shown> StoredOnlySettings(const StoreAccess& store, int com) {
    std::vector<Shown> shown;
    for (const PortSettingRow& row : console::PortSettingRows()) {
        if (row.wireField != console::kStoredOnly) {
            continue;
        }
        PortSettingValues value = console::DefaultPortSettings();
        console::LoadFromStore(value, row, store.PortValue(com, std::string(row.name)));
        shown.push_back({&row, console::StoredText(value, row), value});
    }
    return shown;
}

void WriteJsonValue(JsonWriter& json, const Shown& s) {
    if (!s.value) {
        json.String(s.text);
        return;
    }
    std::visit(
        [&](auto member) {
            const auto& v = (*s.value).*member;
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                json.Bool(v);
            } else if constexpr (std::is_same_v<T, int32_t>) {
                json.Number(v);
            } else {
                json.String(s.text);
            }
        },
        s.row->member);
}

// NAME=VALUE operands checked against the table before anything is sent.
std::map<const PortSettingRow*, std::string> ParseAssignments(const std::vector<std::string>& words,
                                                              const std::string& storePath,
                                                              int com) {
    std::map<const PortSettingRow*, std::string> changes;
    for (const std::string& word : words) {
        const std::size_t equals = word.find('=');
        if (equals == std::string::npos || equals == 0) {
            throw UsageError("'" + word + "' is not NAME=VALUE");
        }
        const std::string name = word.substr(0, equals);
        std::string value = word.substr(equals + 1);
        const PortSettingRow* row = console::FindPortSetting(name);
        if (row == nullptr) {
            throw UsageError("unknown setting '" + name + "'; valid names: " + ValidNames());
        }
        if (row->wireField == console::kStoredOnly) {
            throw UsageError(std::string(row->name) +
                             " is kept in the store only: edit it under Port" +
                             std::to_string(com) + " in " + storePath +
                             ", then reload the server (systemctl reload-or-restart "
                             "TolvanServer)");
        }
        if (row->kind == SettingKind::PortUse) {
            // The store keeps 0 and 1; Server and Client are what people type.
            if (console::EqualsIgnoringCase(console::Trim(value), "Server")) {
                value = "0";
            } else if (console::EqualsIgnoringCase(console::Trim(value), "Client")) {
                value = "1";
            }
        }
        PortSettingValues check = console::DefaultPortSettings();
        if (const auto problem = console::SetFromText(check, *row, value)) {
            throw UsageError(*problem);
        }
        if (row->wireField == console::kFieldRemotePort && check.RemotePort < kLowestRemotePort) {
            throw UsageError("invalid RemotePort '" + value +
                             "': accepts a whole number from 1 to 65535");
        }
        changes[row] = value;
    }
    return changes;
}

// The stored form of a setting's text, for comparing what was asked with what was reported.
std::string Canonical(const PortSettingRow& row, const std::string& text) {
    PortSettingValues value = console::DefaultPortSettings();
    if (console::SetFromText(value, row, text)) {
        return console::Trim(text);
    }
    return console::StoredText(value, row);
}

// What the server did with the asked changes; throws when it did not take them.
void CheckApplied(ConsoleSession& session, int index, int com,
                  const std::map<const PortSettingRow*, std::string>& changes, const Fields& sent,
                  const Fields& reported) {
    // A port that cannot be opened with its new settings is taken out of service.
    if (console::ParseBooleanField(sent[console::kFieldEnabled]).value_or(false) &&
        !console::ParseBooleanField(reported[console::kFieldEnabled]).value_or(false)) {
        const PortStatus status = ReadPortStatus(session, index);
        throw Failure("COM" + std::to_string(com) + " was updated but could not be enabled" +
                      (status.detail.empty() ? std::string() : ": " + status.detail));
    }
    const bool clientMode =
        !console::EqualsIgnoringCase(reported[console::kFieldServiceType], "Server");
    for (const auto& [row, asked] : changes) {
        const std::string now = Canonical(*row, WireText(reported, *row));
        if (now == Canonical(*row, asked)) {
            continue;
        }
        // A client-mode port has one connection, and no idle limit when always connected.
        if (clientMode && (row->wireField == console::kFieldMaxConnections ||
                           row->wireField == console::kFieldMaxIdleTime)) {
            continue;
        }
        throw Failure("the update was refused: COM" + std::to_string(com) + " kept " +
                      std::string(row->name) + "=" + now +
                      " (the reason is in the journal: journalctl -t TolvanServer)");
    }
}

int ApplyChanges(const Context& context, int com,
                 const std::map<const PortSettingRow*, std::string>& changes) {
    const auto session = context.Connect();
    const int index = ReadPortList(*session).IndexOf(com);
    Fields fields = ReadSettingsFields(*session, index);

    PortSettingValues wanted = console::DefaultPortSettings();
    for (const auto& [row, value] : changes) {
        console::SetFromText(wanted, *row, value);
    }
    // Only the named fields change; every other field goes back as the server reported it.
    const Fields wantedFields =
        console::SettingsFields(index, com, wanted, console::BooleanSpelling::Request);
    for (const auto& [row, value] : changes) {
        fields[static_cast<std::size_t>(row->wireField)] =
            wantedFields[static_cast<std::size_t>(row->wireField)];
        if (row->kind == SettingKind::LineSettings) {
            fields[console::kFieldLineFormat] = wantedFields[console::kFieldLineFormat];
        }
    }
    fields[console::kFieldPort] = std::to_string(index);
    session->Send(console::kCodePortSettings, console::JoinFields(fields));
    const console::Frame report = session->WaitForPort(console::kCodePortSettings, index);
    const Fields reported = console::SplitFields(report.payload, console::kSettingsFieldCount);
    if (reported.size() != static_cast<std::size_t>(console::kSettingsFieldCount)) {
        throw Failure("the server's answer to the update could not be read: '" + report.payload +
                      "'");
    }
    CheckApplied(*session, index, com, changes, fields, reported);

    context.out << "COM" << com << " updated:\n";
    for (const Shown& s : ShownSettings(reported)) {
        if (changes.count(s.row) != 0) {
            context.out << "  " << s.row->name << '=' << s.text << '\n';
        }
    }
    return kExitDone;
}

}  // namespace

int RunShow(const Context& context) {
    const int com = ComOperand(context.invocation, 0);
    const auto session = context.Connect();
    const int index = ReadPortList(*session).IndexOf(com);
    std::vector<Shown> shown = ShownSettings(ReadSettingsFields(*session, index));
    for (Shown& s : StoredOnlySettings(context.store, com)) {
        shown.push_back(std::move(s));
    }
    if (context.invocation.json) {
        JsonWriter json(context.out);
        json.BeginObject().Key("port").String("COM" + std::to_string(com));
        json.Key("settings").BeginObject();
        for (const Shown& s : shown) {
            json.Key(s.row->name);
            WriteJsonValue(json, s);
        }
        json.EndObject().EndObject();
        return kExitDone;
    }
    for (const Shown& s : shown) {
        context.out << s.row->name << '=' << s.text << '\n';
    }
    return kExitDone;
}

int RunSet(const Context& context) {
    const int com = ComOperand(context.invocation, 0);
    const std::vector<std::string> words(context.invocation.operands.begin() + 1,
                                         context.invocation.operands.end());
    return ApplyChanges(context, com, ParseAssignments(words, context.store.Path(), com));
}

int RunEnable(const Context& context, bool enable) {
    const int com = ComOperand(context.invocation, 0);
    return ApplyChanges(context, com,
                        {{console::FindPortSetting("Enabled"), enable ? "True" : "False"}});
}

}  // namespace tolvan::ctl
