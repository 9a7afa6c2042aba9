#include "server/service/EventSource.h"

#include <unistd.h>

#include <cstdint>

#include "settings_store/RegistryStore.h"

namespace tolvan {

namespace {

void PutUint32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out += static_cast<char>((value >> shift) & 0xFF);
    }
}

std::string RunningExecutable() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

}  // namespace

std::string FailureActionsBytes() {
    constexpr uint32_t kRestart = 1;
    constexpr uint32_t kDelayMs = 60000;
    std::string bytes;
    PutUint32(bytes, 0);           // reset period
    PutUint32(bytes, 0);           // reboot message
    PutUint32(bytes, 0);           // command
    PutUint32(bytes, 3);           // number of actions
    PutUint32(bytes, 0x00095180);  // actions pointer: a fixed value readers of the record expect
    for (int i = 0; i < 3; ++i) {
        PutUint32(bytes, kRestart);
        PutUint32(bytes, kDelayMs);
    }
    return bytes;
}

void RegisterEventLogSource(RegistryStore& store, const std::string& serviceName) {
    try {
        std::string key =
            "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + serviceName;
        store.RegWriteValue(key, "EventMessageFile", REG_EXPAND_SZ, RunningExecutable());
        store.RegWriteValue(key, "TypesSupported", REG_DWORD, "7");
    } catch (const std::exception&) {
        // Registration is a courtesy to log viewers; the service runs without it.
    }
}

void SetFailureActions(RegistryStore& store, const std::string& serviceName) {
    try {
        store.RegWriteValue("SYSTEM\\CurrentControlSet\\Services\\" + serviceName, "FailureActions",
                            REG_BINARY, FailureActionsBytes());
    } catch (const std::exception&) {
        // Restarts are also configured in the unit file.
    }
}

}  // namespace tolvan
