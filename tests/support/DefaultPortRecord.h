#pragma once

#include <cstdint>

#include "server/core/PortRecord.h"

namespace tolvan {

// The record a fresh store gives a port, enabled and with the password "Mirelo"; its
// connection slots are left to the caller.
inline PortRecord DefaultPortRecord(int comNumber, int serviceType = 0, int maxConnections = 3) {
    PortRecord port;
    port.PortNumber = static_cast<uint8_t>(comNumber);
    port.Enabled = true;
    port.AcceptInput = true;
    port.MaxConnections = static_cast<uint8_t>(maxConnections);
    port.DTREnable = true;
    port.RTSEnable = true;
    port.InBufferSize = 2048;
    port.OutBufferSize = 1024;
    port.Settings = "9600,n,8,1";
    port.ConnectPassword = "Mirelo";
    port.MaxPasswordAttemps = 4;
    port.BadPasswordShutdownLength = 600;
    port.KeepAliveTimeout = 900;
    port.ServiceType = serviceType;
    port.RemoteIP = "192.0.2.7";
    port.RemotePort = 6001;
    return port;
}

}  // namespace tolvan
