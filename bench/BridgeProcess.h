#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "bench/BenchOptions.h"

namespace tolvan::bench {

enum class BridgeKind { Tolvan, Socat, Ser2netTuned, Ser2netDefault };

// What the bench must know of a bridge to talk to it.
struct BridgeTraits {
    std::string name;
    std::string greeting;     // sent by the bridge on every new connection
    bool doubledIac = false;  // byte 255 from the serial line arrives doubled
    int maxClients = 15;
    bool oneShot = false;    // serves one connection, then exits
    double sizeScale = 1.0;  // slow bridges move less, to keep a run within minutes
};

BridgeTraits TraitsOf(BridgeKind kind);

// A bridge process serving the given serial devices; device n (from 1) listens on TCP port
// BasePort() + n on 127.0.0.1. Started in the constructor (throws when it does not come up
// within a few seconds), stopped in the destructor.
class BridgeProcess {
public:
    BridgeProcess(BridgeKind kind, const BenchOptions& options,
                  const std::vector<std::string>& devices, const std::string& tag);
    ~BridgeProcess();
    BridgeProcess(const BridgeProcess&) = delete;
    BridgeProcess& operator=(const BridgeProcess&) = delete;

    pid_t Pid() const { return pid_; }
    int Port(int line) const { return basePort_ + line; }
    bool Alive();
    void Stop();

private:
    std::vector<std::string> Command(const std::vector<std::string>& devices);
    std::string WriteStore(const std::vector<std::string>& devices) const;
    std::string WriteSer2netConfig(const std::vector<std::string>& devices) const;

    BridgeKind kind_;
    const BenchOptions& options_;
    std::string tag_;
    std::string logPath_;
    int basePort_ = -1;
    pid_t pid_ = -1;
};

}  // namespace tolvan::bench
