#include "tolvanctl/StoreAccess.h"

#include <cstdlib>
#include <optional>

#include "console_protocol/TextForms.h"
#include "tolvanctl/CtlError.h"

namespace tolvan::ctl {

namespace {

std::string StorePathFromEnvironment() {
    const char* path = std::getenv("TOLVAN_REGISTRY");
    return path != nullptr && *path != '\0' ? std::string(path)
                                            : std::string("/etc/tolvan/registry.reg");
}

std::string KeyOf(const std::string& subkey) {
    return std::string(kServiceKey) + "\\" + subkey;
}

}  // namespace

StoreAccess::StoreAccess()
    : store_(StorePathFromEnvironment(), [this](const std::string& text) { lastError_ = text; }) {}

int StoreAccess::BasePort() const {
    const std::string text = store_.RegReadValue(KeyOf("Settings"), "BaseTCPPort");
    const std::optional<long long> port = console::RoundedInteger(text, 1, 65535);
    return port ? static_cast<int>(*port) : kDefaultBasePort;
}

void StoreAccess::SaveBasePort(int port) {
    lastError_.clear();
    if (!store_.RegWriteValue(KeyOf("Settings"), "BaseTCPPort", REG_SZ, std::to_string(port))) {
        throw Failure("could not write " + store_.Path() +
                      (lastError_.empty() ? std::string() : ": " + lastError_));
    }
}

std::optional<std::string> StoreAccess::PortValue(int comNumber, const std::string& name) const {
    std::string text = store_.RegReadValue(KeyOf("Port" + std::to_string(comNumber)), name);
    if (text == kNotFound) {
        return std::nullopt;
    }
    return text;
}

std::string StoreAccess::DevicePath(int comNumber) const {
    const std::string path =
        store_.RegReadValue(KeyOf("Devices"), "COM" + std::to_string(comNumber));
    return path == kNotFound ? "/dev/ttyS" + std::to_string(comNumber - 1) : path;
}

}  // namespace tolvan::ctl
