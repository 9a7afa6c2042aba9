#include "server/service/DevicePaths.h"

#include "settings_store/RegistryStore.h"

namespace tolvan {

std::string DevicePath(const RegistryStore& store, int comNumber) {
    const std::string key = std::string(kServiceKey) + "\\Devices";
    std::string value = store.RegReadValue(key, "COM" + std::to_string(comNumber));
    if (value == kNotFound) {
        return "/dev/ttyS" + std::to_string(comNumber - 1);
    }
    return value;
}

}  // namespace tolvan
