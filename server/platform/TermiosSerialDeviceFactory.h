#pragma once

#include <memory>

#include "server/bridge/SerialDevice.h"
#include "server/platform/TermiosSerialDevice.h"

namespace tolvan {

// Makes termios serial devices that find the path of COM n through one resolver.
class TermiosSerialDeviceFactory : public SerialDeviceFactory {
public:
    explicit TermiosSerialDeviceFactory(TermiosSerialDevice::PathResolver resolvePath)
        : resolvePath_(std::move(resolvePath)) {}

    std::unique_ptr<SerialDevice> Create() override {
        return std::make_unique<TermiosSerialDevice>(resolvePath_);
    }

private:
    TermiosSerialDevice::PathResolver resolvePath_;
};

}  // namespace tolvan
