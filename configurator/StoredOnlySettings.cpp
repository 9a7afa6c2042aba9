#include "configurator/StoredOnlySettings.h"

#include <optional>
#include <string>

#include "configurator/ServerSettings.h"
#include "console_protocol/PortSettingsTable.h"
#include "settings_store/RegistryStore.h"

namespace tolvan {

QString StoredOnlySettings(const ServerSettings& settings, int comNumber) {
    QString text;
    for (const console::PortSettingRow& row : console::PortSettingRows()) {
        if (row.wireField != console::kStoredOnly) {
            continue;
        }
        const std::string stored = settings.GetServerSetting("Port" + std::to_string(comNumber),
                                                             std::string(row.name), kNotFound);
        console::PortSettingValues values = console::DefaultPortSettings();
        console::LoadFromStore(
            values, row, stored == kNotFound ? std::nullopt : std::optional<std::string>(stored));
        text +=
            (text.isEmpty() ? QString() : QStringLiteral(", ")) +
            QString::fromStdString(std::string(row.name) + "=" + console::StoredText(values, row));
    }
    return text;
}

}  // namespace tolvan
