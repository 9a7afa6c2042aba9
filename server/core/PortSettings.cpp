#include "server/core/PortSettings.h"

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include "server/core/Conversions.h"
#include "server/core/HostContext.h"
#include "server/core/LogFile.h"
#include "server/core/ServiceSettings.h"

namespace tolvan {

namespace {

template <typename T>
constexpr long long Low() {
    return std::numeric_limits<T>::min();
}
template <typename T>
constexpr long long High() {
    return std::numeric_limits<T>::max();
}

PortRecord& PortAt(HostContext& context, int portIndex) {
    if (portIndex < 0 || static_cast<size_t>(portIndex) >= context.ports.size())
        throw std::out_of_range("no port at index " + std::to_string(portIndex));
    return context.ports[static_cast<size_t>(portIndex)];
}

// Reads one port's values, converting each; a bad value is reported and its default used.
class PortLoader {
public:
    PortLoader(HostContext& context, int portNumber)
        : context_(context), subkey_("Port" + std::to_string(portNumber)) {}

    std::string Text(const std::string& name, const std::string& defaultValue) {
        return GetServiceSetting(context_, subkey_, name, defaultValue);
    }

    bool Boolean(const std::string& name, bool defaultValue) {
        std::string text = Text(name, BooleanText(defaultValue));
        if (std::optional<bool> value = ParseBoolean(text))
            return *value;
        Invalid(name, text, BooleanText(defaultValue));
        return defaultValue;
    }

    long long Integer(const std::string& name, long long defaultValue, long long low,
                      long long high) {
        std::string text = Text(name, std::to_string(defaultValue));
        if (std::optional<long long> value = ParseInteger(text, low, high))
            return *value;
        Invalid(name, text, std::to_string(defaultValue));
        return defaultValue;
    }

    void Report(const std::string& description) { context_.log.LogError("M2S5 " + description); }

    const std::string& Subkey() const { return subkey_; }

private:
    void Invalid(const std::string& name, const std::string& text, const std::string& used) {
        Report("invalid value '" + text + "' for \"" + name + "\" of " + subkey_ + ", " + used +
               " used");
    }

    HostContext& context_;
    std::string subkey_;
};

}  // namespace

void LoadPortSettings(HostContext& context, int portIndex) {
    try {
        PortRecord& port = PortAt(context, portIndex);
        PortLoader load(context, port.PortNumber);
        port.Settings = load.Text("Settings", "9600,n,8,1");
        port.Enabled = load.Boolean("Enabled", false);
        port.AcceptInput = load.Boolean("AcceptInput", true);
        auto maxConnections = load.Integer("MaxConnections", 3, 0, High<uint8_t>());
        if (maxConnections > kMaxSlotsPerPort) {
            load.Report("\"MaxConnections\" " + std::to_string(maxConnections) + " of " +
                        load.Subkey() + " is more than " + std::to_string(kMaxSlotsPerPort) + ", " +
                        std::to_string(kMaxSlotsPerPort) + " used");
            maxConnections = kMaxSlotsPerPort;
        }
        port.MaxConnections = static_cast<uint8_t>(maxConnections);
        port.DTREnable = load.Boolean("DTREnable", true);
        port.RTSEnable = load.Boolean("RTSEnable", true);
        port.InBufferSize = static_cast<int16_t>(
            load.Integer("InBufferSize", 2048, Low<int16_t>(), High<int16_t>()));
        port.OutBufferSize = static_cast<int16_t>(
            load.Integer("OutBufferSize", 1024, Low<int16_t>(), High<int16_t>()));
        port.Handshaking = static_cast<int32_t>(load.Integer("Handshaking", 0, 0, High<uint8_t>()));
        port.ConnectPassword = load.Text("ConnectPassword", "Mirelo");
        port.MaxPasswordAttemps = static_cast<int16_t>(
            load.Integer("MaxPasswordAttemps", 4, Low<int16_t>(), High<int16_t>()));
        port.BadPasswordShutdownLength = static_cast<int32_t>(
            load.Integer("BadPasswordShutdownLength", 600, Low<int32_t>(), High<int32_t>()));
        port.MaxIdleTime =
            static_cast<int32_t>(load.Integer("MaxIdleTime", 0, Low<int32_t>(), High<int32_t>()));
        port.LogFile = Trim(load.Text("LogFile", ""));
        port.CountersResetTime = context.clock.NowLocal();
        port.ServiceType = static_cast<int32_t>(load.Integer("ServiceType", 0, 0, High<uint8_t>()));
        port.RemoteIP = Trim(load.Text("RemoteIP", ""));
        port.RemotePort =
            static_cast<int32_t>(load.Integer("RemotePort", 0, Low<int32_t>(), High<int32_t>()));
        port.AllwaysConnected = load.Boolean("AllwaysConnected", false);
        port.PortDescription = load.Text("PortDescription", "");
        port.KeepAliveTimeout = static_cast<int16_t>(
            load.Integer("KeepAliveTimeout", 900, Low<int16_t>(), High<int16_t>()));
        RefuseStrayLogFile(context, port);
    } catch (const std::exception& e) {
        context.log.LogError(std::string("M2S5 ") + e.what());
    }
}

void SavePortSettings(HostContext& context, int portIndex) {
    try {
        const PortRecord& port = PortAt(context, portIndex);
        std::string subkey = "Port" + std::to_string(port.PortNumber);
        auto number = [](long long value) { return std::to_string(value); };
        const std::pair<const char*, std::string> values[] = {
            {"Settings", port.Settings},
            {"Enabled", BooleanText(port.Enabled)},
            {"AcceptInput", BooleanText(port.AcceptInput)},
            {"MaxConnections", number(port.MaxConnections)},
            {"DTREnable", BooleanText(port.DTREnable)},
            {"RTSEnable", BooleanText(port.RTSEnable)},
            {"InBufferSize", number(port.InBufferSize)},
            {"OutBufferSize", number(port.OutBufferSize)},
            {"Handshaking", number(port.Handshaking)},
            {"ConnectPassword", port.ConnectPassword},
            {"MaxPasswordAttemps", number(port.MaxPasswordAttemps)},
            {"BadPasswordShutdownLength", number(port.BadPasswordShutdownLength)},
            {"MaxIdletime", number(port.MaxIdleTime)},
            {"LogFile", Trim(port.LogFile)},
            {"AllwaysConnected", BooleanText(port.AllwaysConnected)},
            {"RemoteIP", Trim(port.RemoteIP)},
            {"RemotePort", number(port.RemotePort)},
            {"ServiceType", port.ServiceType != 0 ? "1" : "0"},
            {"PortDescription", Trim(port.PortDescription)},
            {"KeepAliveTimeout", number(port.KeepAliveTimeout)},
        };
        for (const auto& [name, text] : values) {
            if (!SaveServiceSetting(context, subkey, name, text)) {
                context.log.LogError(std::string("M2S6 settings of ") + subkey + " not saved: \"" +
                                     name + "\" could not be written");
                return;
            }
        }
    } catch (const std::exception& e) {
        context.log.LogError(std::string("M2S6 ") + e.what());
    }
}

}  // namespace tolvan
