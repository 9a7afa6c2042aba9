#include "server/service/SettingsReload.h"

#include <algorithm>
#include <exception>
#include <string>
#include <type_traits>
#include <vector>

#include "console_protocol/PortSettingsTable.h"
#include "server/bridge/PortAccess.h"
#include "server/bridge/PortControl.h"
#include "server/bridge/ServerContext.h"
#include "server/console/SettingsUpdate.h"
#include "server/core/ForeignText.h"
#include "server/core/LogFile.h"
#include "server/core/PortSettings.h"
#include "server/core/ServiceSettings.h"

namespace tolvan {

namespace {

std::string Quoted(const std::string& text) {
    return "'" + EscapeForeignText(text) + "'";
}

// Notes a changed Settings value as "name old -> new".
template <class Value>
void NoteChange(std::vector<std::string>& changes, const char* name, const Value& before,
                const Value& after) {
    if (before == after) {
        return;
    }
    if constexpr (std::is_same_v<Value, std::string>) {
        changes.push_back(std::string(name) + " " + Quoted(before) + " -> " + Quoted(after));
    } else {
        changes.push_back(std::string(name) + " " + std::to_string(before) + " -> " +
                          std::to_string(after));
    }
}

// A shorter check interval counts from now, not from the last check.
void PullIn(DateTime& nextCheck, const Clock& clock, int before, int after) {
    if (after < before) {
        nextCheck = std::min(nextCheck, clock.NowUtc() + Seconds(after));
    }
}

std::vector<std::string> ReloadGlobalSettings(ServerContext& ctx, bool& listenAddressChanged) {
    const GlobalSettings before = ctx.settings;
    ReadGlobalSettings(ctx);
    GlobalSettings& after = ctx.settings;
    std::vector<std::string> changes;
    if (after.BaseTCPPort != before.BaseTCPPort) {
        changes.push_back("BaseTCPPort " + Num(before.BaseTCPPort) + " -> " +
                          Num(after.BaseTCPPort) + " (applies at the next start)");
        // The console and every listener stay where they are until then.
        after.BaseTCPPort = before.BaseTCPPort;
    }
    NoteChange(changes, "IdleTimeCheckInterval", before.IdleTimeCheckInterval,
               after.IdleTimeCheckInterval);
    NoteChange(changes, "ListeningPortCheckInterval", before.ListeningPortCheckInterval,
               after.ListeningPortCheckInterval);
    NoteChange(changes, "ConstantConnectClientCheckInterval",
               before.ConstantConnectClientCheckInterval, after.ConstantConnectClientCheckInterval);
    PullIn(ctx.timer.NextIdleCheck, ctx.clock, before.IdleTimeCheckInterval,
           after.IdleTimeCheckInterval);
    PullIn(ctx.timer.NextListenerCheck, ctx.clock, before.ListeningPortCheckInterval,
           after.ListeningPortCheckInterval);
    PullIn(ctx.timer.NextClientCheck, ctx.clock, before.ConstantConnectClientCheckInterval,
           after.ConstantConnectClientCheckInterval);
    NoteChange(changes, "LogDirectory", before.LogDirectory, after.LogDirectory);
    NoteChange(changes, "ListenAddress", before.ListenAddress, after.ListenAddress);
    NoteChange(changes, "ConsoleGroup", before.ConsoleGroup, after.ConsoleGroup);
    // Takes effect at the next progress check of each connection.
    NoteChange(changes, "StallSeconds", before.StallSeconds, after.StallSeconds);
    listenAddressChanged = after.ListenAddress != before.ListenAddress;
    return changes;
}

// The names of the settings in which two sets of port values differ.
std::string ChangedNames(const console::PortSettingValues& before,
                         const console::PortSettingValues& after) {
    std::string names;
    for (const console::PortSettingRow& row : console::PortSettingRows()) {
        if (console::StoredText(before, row) != console::StoredText(after, row)) {
            names += (names.empty() ? "" : ", ") + std::string(row.name);
        }
    }
    return names;
}

// The port's stored settings in the form they take when in force.
PortRecord StoredSettings(ServerContext& ctx, const PortRecord& port) {
    PortRecord stored;
    stored.PortNumber = port.PortNumber;
    LoadPortSettings(ctx, stored);
    // A password removed from the store is generated afresh at the next start; until then the
    // port keeps the one in force rather than opening without any.
    const std::string subkey = "Port" + Num(port.PortNumber);
    if (GetServiceSetting(ctx, subkey, "ConnectPassword", kNotFound) == kNotFound) {
        stored.ConnectPassword = port.ConnectPassword;
    }
    // A client-mode port has exactly one connection, whatever is stored.
    if (stored.ServiceType != 0) {
        stored.MaxConnections = port.ServiceType != 0 ? port.MaxConnections : 1;
    }
    return stored;
}

}  // namespace

void ReloadSettings(ServerContext& ctx, const DevicePathOf& devicePath) {
    if (const std::string problem = ctx.store.ReadProblem(); !problem.empty()) {
        ctx.log.LogError("M2S20 settings not reloaded, nothing changed: " + problem);
        return;
    }
    try {
        bool listenAddressChanged = false;
        std::vector<std::string> changes = ReloadGlobalSettings(ctx, listenAddressChanged);
        std::vector<int> touched;
        for (int p = 0; p < static_cast<int>(ctx.ports.size()); ++p) {
            PortRecord& port = PortAt(ctx, p);
            PortRecord stored = StoredSettings(ctx, port);
            const console::PortSettingValues& inForce = port;
            const console::PortSettingValues& wanted = stored;
            const bool changed = inForce != wanted;
            if (changed) {
                const std::string names = ChangedNames(inForce, wanted);
                changes.push_back("COM" + Num(port.PortNumber) +
                                  (names.empty() ? std::string(" reopened") : " (" + names + ")"));
                ChangePortSettings(ctx, p, wanted);
                ctx.reports->SendPortSettingsReport(p);
                ctx.reports->SendConnectionList(p);
            }
            if (listenAddressChanged) {
                // Also after a change: a listener element keeps the address it was bound to.
                RestartListener(ctx, p);
            }
            if (changed || listenAddressChanged) {
                touched.push_back(p);
            }
        }
        // Log rotation renames the files; the ports write to new ones from here on.
        ReopenLogFiles(ctx);
        std::string text = "Settings reloaded";
        for (std::size_t i = 0; i < changes.size(); ++i) {
            text += (i == 0 ? ": " : "; ") + changes[i];
        }
        if (changes.empty()) {
            text += ": nothing changed";
        }
        ctx.log.Information(text);
        for (int p : touched) {
            LogPortStatus(ctx, p, devicePath);
        }
    } catch (const std::exception& e) {
        ctx.log.LogError(std::string("M2S20 ") + e.what());
    }
}

}  // namespace tolvan
