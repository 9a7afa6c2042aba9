#pragma once

#include <optional>
#include <string>

#include "settings_store/RegistryStore.h"

namespace tolvan::ctl {

// The few values tolvanctl reads from the server's store itself, as the configurator does:
// the base port (to find the console), the device path of a COM port, and BaseTCPPort for
// base-port. Reads of a missing or unreadable store give the defaults.
class StoreAccess {
public:
    static constexpr int kDefaultBasePort = 5000;
    static constexpr int kHighestBasePort = 65535 - 16;  // COM16 listens on base + 16

    // The store named by TOLVAN_REGISTRY, else /etc/tolvan/registry.reg.
    StoreAccess();

    const std::string& Path() const { return store_.Path(); }

    // BaseTCPPort as stored; the default when it is missing or no port number.
    int BasePort() const;
    // Stores BaseTCPPort; throws a CtlError when the store cannot be written.
    void SaveBasePort(int port);
    // A value under "Port<n>" as stored; nothing when it is missing.
    std::optional<std::string> PortValue(int comNumber, const std::string& name) const;
    // The device path of COM n: the value "COMn" under "Devices", else /dev/ttyS<n-1>.
    std::string DevicePath(int comNumber) const;

private:
    std::string lastError_;
    RegistryStore store_;
};

}  // namespace tolvan::ctl
