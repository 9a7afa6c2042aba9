#pragma once

#include <map>
#include <string>
#include <vector>

#include "bench/BenchOptions.h"
#include "bench/BridgeProcess.h"
#include "bench/Pattern.h"
#include "bench/PseudoLine.h"
#include "bench/TcpClient.h"

namespace tolvan::bench {

using Metrics = std::map<std::string, double>;

// The measurements of one bridge on one serial line. Each throws std::runtime_error when the
// bridge lost, changed or delayed data beyond the bounds; the caller records the failure.
class Measurements {
public:
    Measurements(const BenchOptions& options, PseudoLine& line);

    // Serial line to `clients` clients at once, each verified to receive all of it. Adds
    // <prefix>_MBps (the total delivered) and <prefix>_cpu_s_per_GB.
    void SerialToTcp(BridgeProcess& bridge, const BridgeTraits& traits, int clients, double mb,
                     const std::string& prefix, Metrics& out);
    // One client to the serial line: t2s_MBps, t2s_cpu_s_per_GB.
    void TcpToSerial(BridgeProcess& bridge, const BridgeTraits& traits, double mb, Metrics& out);
    // Client -> serial -> echoed by the bench -> client: rtt_p50_us, rtt_p99_us.
    void RoundTrip(BridgeProcess& bridge, const BridgeTraits& traits, Metrics& out);
    // Open, answered (an echoed byte), closed, one after another: conn_per_s.
    void ConnectionsPerSecond(BridgeProcess& bridge, const BridgeTraits& traits, Metrics& out);
    // Two clients, one reading at a paced burstReaderMBps, the other reading nothing; burstMib
    // from the line as fast as the bridge takes it. The reader must get every byte. Adds
    // burst_lost_MB (what the reader missed), burst_s (until the reader had all),
    // burst_line_MBps (how fast the line was written),
    // and burst_peak_rss_MB (run it on a fresh bridge). Throws when the bridge stops taking
    // data from the line.
    void Burst(BridgeProcess& bridge, const BridgeTraits& traits, Metrics& out);
    // 16 serial lines with 15 idle clients each: idle_16x15_rss_MB.
    static void IdleMemory(BridgeKind kind, const BenchOptions& options, const std::string& tag,
                           Metrics& out);

private:
    std::vector<TcpClient> ConnectClients(int port, int count, const BridgeTraits& traits);
    // Echoes whatever the bridge wrote to the line back to it; false on a line failure.
    bool EchoLine();
    // Keeps the highest peak resident memory seen in peak_rss_MB.
    static void NotePeak(BridgeProcess& bridge, Metrics& out);

    const BenchOptions& options_;
    PseudoLine& line_;
    Pattern withIac_{true};
    Pattern noIac_{false};
    std::vector<char> buffer_;
};

}  // namespace tolvan::bench
