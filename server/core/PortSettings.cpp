#include "server/core/PortSettings.h"

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <string>

#include "console_protocol/PortSettingsTable.h"
#include "console_protocol/TextForms.h"
#include "server/core/ForeignText.h"
#include "server/core/HostContext.h"
#include "server/core/LogFile.h"
#include "server/core/ServiceSettings.h"

namespace tolvan {

void LoadPortSettings(HostContext& context, int portIndex) {
    try {
        PortRecord& port = PortAt(context, portIndex);
        const std::string subkey = "Port" + std::to_string(port.PortNumber);
        for (const console::PortSettingRow& row : console::PortSettingRows()) {
            const std::string name(row.name);
            const std::string text = GetServiceSetting(context, subkey, name, kNotFound);
            const auto problem = console::LoadFromStore(
                port, row, text == kNotFound ? std::nullopt : std::optional<std::string>(text));
            if (problem) {
                context.log.LogError("M2S5 " + EscapeForeignText(problem->problem) + " (" + subkey +
                                     "), " + problem->used + " used");
            }
        }
        port.CountersResetTime = context.clock.NowLocal();
        RefuseStrayLogFile(context, port);
    } catch (const std::exception& e) {
        context.log.LogError(std::string("M2S5 ") + e.what());
    }
}

void SavePortSettings(HostContext& context, int portIndex) {
    try {
        const PortRecord& port = PortAt(context, portIndex);
        const std::string subkey = "Port" + std::to_string(port.PortNumber);
        for (const console::PortSettingRow& row : console::PortSettingRows()) {
            const std::string name(row.saveName);
            if (!SaveServiceSetting(context, subkey, name, console::StoredText(port, row))) {
                context.log.LogError("M2S6 settings of " + subkey + " not saved: \"" +
                                     std::string(row.saveName) + "\" could not be written");
                return;
            }
        }
    } catch (const std::exception& e) {
        context.log.LogError(std::string("M2S6 ") + e.what());
    }
}

}  // namespace tolvan
