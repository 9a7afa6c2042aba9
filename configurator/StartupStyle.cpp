#include "configurator/StartupStyle.h"

#include "configurator/ServerSettings.h"
#include "console_protocol/TextForms.h"

namespace tolvan {

bool IsLoginStart(const QStringList& arguments) {
    return arguments.join(u' ').toLower() == QStringLiteral("-login");
}

StartupStyle StartupStyleFor(const QStringList& arguments, const ServerSettings& settings) {
    if (!IsLoginStart(arguments)) {
        return StartupStyle::kNormal;
    }
    const long long style =
        console::LeadingNumber(settings.GetServerSetting("Settings", "ConfigStartupStyle", "0"));
    if (style == 1) {
        return StartupStyle::kMinimized;
    }
    if (style == 2) {
        return StartupStyle::kTray;
    }
    return StartupStyle::kNormal;
}

}  // namespace tolvan
