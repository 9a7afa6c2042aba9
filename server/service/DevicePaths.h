#pragma once

#include <string>

namespace tolvan {

class RegistryStore;

// The device path of COM n: value "COMn" under the service key's "Devices", else /dev/ttyS<n-1>.
std::string DevicePath(const RegistryStore& store, int comNumber);

}  // namespace tolvan
