#include "tests/e2e/ServerSandbox.h"

#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <stdexcept>

#include "tests/e2e/TcpClient.h"

namespace tolvan::e2e {

std::string ServerBinary() {
    return TOLVAN_SERVER_BINARY;
}

ServerSandbox::ServerSandbox()
    : store_(dir_.File("registry.reg")), basePort_(FindFreePortRange(17)) {
    SetValue("Settings", "BaseTCPPort", std::to_string(basePort_));
}

ServerSandbox::~ServerSandbox() {
    if (process_.Running()) {
        process_.Signal(SIGTERM);
        process_.WaitExit(Millis(5000));
    }
}

void ServerSandbox::SetValue(const std::string& subkey, const std::string& name,
                             const std::string& value) {
    if (!store_.RegWriteValue(std::string(kServiceKey) + "\\" + subkey, name, REG_SZ, value)) {
        throw std::runtime_error("cannot write the test store");
    }
}

PseudoTerminal& ServerSandbox::AddPty(int com) {
    auto pty = std::make_unique<PseudoTerminal>();
    MapDevice(com, pty->SlavePath());
    auto& slot = ptys_[com];
    slot = std::move(pty);
    return *slot;
}

void ServerSandbox::MapDevice(int com, const std::string& path) {
    devices_[com] = path;
    SetValue("Devices", "COM" + std::to_string(com), path);
}

void ServerSandbox::EnablePort(int com, const std::string& password) {
    const std::string key = "Port" + std::to_string(com);
    SetValue(key, "Enabled", "True");
    SetValue(key, "ConnectPassword", password);
}

void ServerSandbox::MapUnusedPorts() {
    for (int com = 1; com <= 16; ++com) {
        if (devices_.count(com) == 0) {
            MapDevice(com, dir_.File("no-such-device-" + std::to_string(com)));
        }
    }
}

EnvChanges ServerSandbox::Environment() const {
    return {
        {"TOLVAN_REGISTRY", RegistryPath()},     {"TOLVAN_EVENTLOG", EventLogPath()},
        {"NOTIFY_SOCKET", std::nullopt},         {"INVOCATION_ID", std::nullopt},
        {"TOLVAN_UNIT_DIR", dir_.File("units")}, {"TOLVAN_SYSTEMCTL", "/bin/false"},
    };
}

void ServerSandbox::RunAs(uid_t uid, gid_t gid) {
    runAs_ = {uid, gid};
    process_.RunAs(uid, gid);
}

void ServerSandbox::RunUnprivileged() {
    if (::geteuid() == 0) {
        RunAs(kNobody, kNobody);
    }
}

void ServerSandbox::HandOver() const {
    if (!runAs_) {
        return;
    }
    const auto [uid, gid] = *runAs_;
    bool given = ::lchown(dir_.Path().c_str(), uid, gid) == 0;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(dir_.Path(), error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        given = ::lchown(it->path().c_str(), uid, gid) == 0 && given;
    }
    for (const auto& [com, pty] : ptys_) {
        given = ::chown(pty->SlavePath().c_str(), uid, gid) == 0 && given;
    }
    if (error || !given) {
        throw std::runtime_error("cannot hand the sandbox over to user " + std::to_string(uid));
    }
}

bool ServerSandbox::Start(const std::vector<std::string>& args, const EnvChanges& extra) {
    MapUnusedPorts();
    HandOver();
    EnvChanges env = Environment();
    for (const auto& [name, value] : extra) {
        env[name] = value;
    }
    return process_.Start(ServerBinary(), args, env, dir_.File("server.out"),
                          dir_.File("server.err"));
}

bool ServerSandbox::WaitUntilReady(Millis within) {
    return WaitFor(
               [this] {
                   return !process_.Running() ||
                          (CountEvents(Events(), "Service Starting....") > 0 &&
                           IsListening(basePort_));
               },
               within) &&
           process_.Running();
}

std::optional<ExitStatus> ServerSandbox::Stop(Millis within) {
    process_.Signal(SIGTERM);
    return process_.WaitExit(within);
}

bool ServerSandbox::WaitForEvent(std::string_view fragment, Millis within) const {
    return WaitFor([&] { return CountEvents(Events(), fragment) > 0; }, within);
}

}  // namespace tolvan::e2e
