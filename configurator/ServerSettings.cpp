#include "configurator/ServerSettings.h"

#include <cstdlib>
#include <utility>

namespace tolvan {

ServerSettings::ServerSettings(std::string storePath) : store_(std::move(storePath)) {}

std::string ServerSettings::StorePathFromEnvironment() {
    const char* path = std::getenv("TOLVAN_REGISTRY");
    if (path != nullptr && *path != '\0') {
        return path;
    }
    return "/etc/tolvan/registry.reg";
}

std::string ServerSettings::KeyOf(const std::string& section) {
    return std::string(kServiceKey) + "\\" + section;
}

std::string ServerSettings::GetServerSetting(const std::string& section, const std::string& name,
                                             const std::string& defaultValue) const {
    std::string value = store_.RegReadValue(KeyOf(section), name);
    if (value == kNotFound) {
        return defaultValue;
    }
    return value;
}

void ServerSettings::SaveServerSetting(const std::string& section, const std::string& name,
                                       const std::string& value) {
    store_.RegWriteValue(KeyOf(section), name, REG_SZ, value);
}

}  // namespace tolvan
