#pragma once

#include <string>

#include "settings_store/RegistryStore.h"

namespace tolvan {

// The configurator's view of the server's settings key: values under the service key's
// subkeys ("Settings" and so on), read with a default for what is not stored.
class ServerSettings {
public:
    explicit ServerSettings(std::string storePath);

    // The store named by TOLVAN_REGISTRY, else /etc/tolvan/registry.reg.
    static std::string StorePathFromEnvironment();

    std::string GetServerSetting(const std::string& section, const std::string& name,
                                 const std::string& defaultValue) const;
    // Failures are not reported, as for every registry write of the configurator.
    void SaveServerSetting(const std::string& section, const std::string& name,
                           const std::string& value);

    const std::string& StorePath() const { return store_.Path(); }

private:
    static std::string KeyOf(const std::string& section);

    RegistryStore store_;
};

}  // namespace tolvan
