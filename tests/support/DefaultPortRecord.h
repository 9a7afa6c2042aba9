#pragma once

#include <cstdint>

#include "server/core/PortRecord.h"

namespace tolvan {

// The record a fresh store gives a port, enabled and with the password "Mirelo" standing for
// the one start-up generates; its connection slots are left to the caller.
inline PortRecord DefaultPortRecord(int comNumber, int serviceType = 0, int maxConnections = 3) {
    PortRecord port;
    static_cast<console::PortSettingValues&>(port) = console::DefaultPortSettings();
    port.PortNumber = static_cast<uint8_t>(comNumber);
    port.Enabled = true;
    port.ConnectPassword = "Mirelo";
    port.MaxConnections = maxConnections;
    port.ServiceType = serviceType;
    port.RemoteIP = "192.0.2.7";
    port.RemotePort = 6001;
    return port;
}

}  // namespace tolvan
