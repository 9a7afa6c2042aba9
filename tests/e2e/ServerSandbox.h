#pragma once

#include <sys/types.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings_store/RegistryStore.h"
#include "tests/e2e/Deadline.h"
#include "tests/e2e/EventLogFile.h"
#include "tests/e2e/PseudoTerminal.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempFolder.h"

namespace tolvan::e2e {

// The path of the TolvanServer under test.
std::string ServerBinary();

// One TolvanServer run in its own world: a temporary store and event log, a free range of
// TCP ports, and COM ports mapped to pseudo-terminals. Every COM port not mapped to a
// pseudo-terminal is mapped to a path that does not exist, so the machine's own serial ports
// never take part.
class ServerSandbox {
public:
    ServerSandbox();
    ~ServerSandbox();

    const TempFolder& Dir() const { return dir_; }
    RegistryStore& Store() { return store_; }
    int BasePort() const { return basePort_; }
    int DataPort(int com) const { return basePort_ + com; }
    std::string EventLogPath() const { return dir_.File("events.log"); }
    std::string RegistryPath() const { return dir_.File("registry.reg"); }

    // Writes a text value under the service key's subkey ("Settings", "Port3", "Devices").
    void SetValue(const std::string& subkey, const std::string& name, const std::string& value);
    // A pseudo-terminal as COM n.
    PseudoTerminal& AddPty(int com);
    PseudoTerminal& Pty(int com) { return *ptys_.at(com); }
    // COM n mapped to a path of the caller's choosing.
    void MapDevice(int com, const std::string& path);
    // "Enabled"="True" and the given password on port n.
    void EnablePort(int com, const std::string& password = "Mirelo");

    // The environment a run gets: store, event log, and no sign of systemd.
    EnvChanges Environment() const;

    // Runs the server as another user (needs root): at Start the sandbox's folder, everything
    // in it and the pseudo-terminals are given to that user, as a packaged service's would be.
    void RunAs(uid_t uid, gid_t gid);
    // The user a packaged service would be like: nobody.
    static constexpr uid_t kNobody = 65534;
    // Runs the server as nobody when the tests run as root; otherwise the tests' own user is
    // unprivileged already.
    void RunUnprivileged();

    // Starts the server (by default with -debug).
    bool Start(const std::vector<std::string>& args = {"-debug"}, const EnvChanges& extra = {});
    // Waits until "Service Starting...." was written and the console listens on the base port.
    bool WaitUntilReady(Millis within = Millis(15000));
    // SIGTERM, then the exit status.
    std::optional<ExitStatus> Stop(Millis within = Millis(10000));
    ServerProcess& Process() { return process_; }

    std::vector<EventEntry> Events() const { return ReadEventLog(EventLogPath()); }
    bool WaitForEvent(std::string_view fragment, Millis within = Millis(5000)) const;
    std::string Stdout() const { return ReadFile(dir_.File("server.out")); }
    std::string Stderr() const { return ReadFile(dir_.File("server.err")); }

private:
    void MapUnusedPorts();
    void HandOver() const;

    TempFolder dir_;
    RegistryStore store_;
    int basePort_;
    std::map<int, std::unique_ptr<PseudoTerminal>> ptys_;
    std::map<int, std::string> devices_;
    ServerProcess process_;
    std::optional<std::pair<uid_t, gid_t>> runAs_;
};

}  // namespace tolvan::e2e
