#include "server/core/ServiceSettings.h"

#include "console_protocol/TextForms.h"
#include "server/core/ForeignText.h"
#include "server/core/HostContext.h"
#include "server/core/ListenAddress.h"

namespace tolvan {

namespace {

constexpr long long kHighestBasePort = 65535 - 16;  // room for the sixteen data listeners
constexpr long long kLongestInterval = 86400;
constexpr long long kLongestStall = 3600;

int ReadSetting(HostContext& context, const std::string& name, int defaultValue, long long high) {
    std::string text = GetServiceSetting(context, "Settings", name, std::to_string(defaultValue));
    if (std::optional<long long> value = console::WholeNumber(text, 1, high)) {
        return static_cast<int>(*value);
    }
    context.log.LogError("M2S16 invalid value '" + EscapeForeignText(text) + "' for \"" + name +
                         "\" of Settings (a whole number from 1 to " + std::to_string(high) +
                         "), " + std::to_string(defaultValue) + " used");
    return defaultValue;
}

// LogDirectory is never taken from the console: it bounds what the console may name.
std::string ReadLogDirectory(HostContext& context) {
    const std::string text =
        GetServiceSetting(context, "Settings", "LogDirectory", kDefaultLogDirectory);
    if (std::optional<std::string> folder = NormalLogDirectory(text)) {
        return *folder;
    }
    context.log.LogError("M2S16 invalid value '" + EscapeForeignText(text) +
                         "' for \"LogDirectory\" of Settings (an absolute path without \"..\"), " +
                         kDefaultLogDirectory + " used");
    return kDefaultLogDirectory;
}

std::string ReadListenAddress(HostContext& context) {
    const std::string text = GetServiceSetting(context, "Settings", "ListenAddress", "");
    if (std::optional<std::string> address = NormalListenAddress(text)) {
        return *address;
    }
    context.log.LogError("M2S16 invalid value '" + EscapeForeignText(text) +
                         "' for \"ListenAddress\" of Settings (an IPv4 or IPv6 address or "
                         "localhost), every address used");
    return {};
}

}  // namespace

std::string ServiceKeyPath(const std::string& subkey) {
    return std::string(kServiceKey) + "\\" + subkey;
}

std::string GetServiceSetting(HostContext& context, const std::string& subkey,
                              const std::string& name, const std::string& defaultValue) {
    try {
        std::string text = context.store.RegReadValue(ServiceKeyPath(subkey), name);
        return text == kNotFound ? defaultValue : text;
    } catch (const std::exception& e) {
        context.log.LogError(std::string("M2S16 ") + e.what());
        return defaultValue;
    }
}

bool SaveServiceSetting(HostContext& context, const std::string& subkey, const std::string& name,
                        const std::string& text) {
    try {
        return context.store.RegWriteValue(ServiceKeyPath(subkey), name, REG_SZ, text);
    } catch (const std::exception& e) {
        context.log.LogError(std::string("M2S17 ") + e.what());
        return false;
    }
}

void ReadGlobalSettings(HostContext& context) {
    GlobalSettings defaults;
    GlobalSettings& s = context.settings;
    s.BaseTCPPort = ReadSetting(context, "BaseTCPPort", defaults.BaseTCPPort, kHighestBasePort);
    s.IdleTimeCheckInterval = ReadSetting(context, "IdleTimeCheckInterval",
                                          defaults.IdleTimeCheckInterval, kLongestInterval);
    s.ListeningPortCheckInterval =
        ReadSetting(context, "ListeningPortCheckInterval", defaults.ListeningPortCheckInterval,
                    kLongestInterval);
    s.ConstantConnectClientCheckInterval =
        ReadSetting(context, "ConstantConnectClientCheckInterval",
                    defaults.ConstantConnectClientCheckInterval, kLongestInterval);
    s.StallSeconds = ReadSetting(context, "StallSeconds", defaults.StallSeconds, kLongestStall);
    s.LogDirectory = ReadLogDirectory(context);
    s.ListenAddress = ReadListenAddress(context);
    s.ConsoleGroup = GetServiceSetting(context, "Settings", "ConsoleGroup", defaults.ConsoleGroup);
}

}  // namespace tolvan
