#pragma once

#include <string>
#include <vector>

namespace tolvan::bench {

// The command line of tolvan_bench.
struct BenchOptions {
    std::string server;  // TolvanServer executable
    std::string socat = "socat";
    std::string ser2net = "ser2net";
    std::string workDir;  // store files, configurations, logs
    std::string json = "bench/results/latest.json";
    std::vector<std::string> bridges;  // empty: all
    int repetitions = 5;
    double serialToTcpMb = 64;  // one client, each direction
    double tcpToSerialMb = 64;
    double fanOutMb = 16;         // serial side; each client receives all of it
    double burstMib = 32;         // from the line at full speed, two clients
    double burstReaderMBps = 10;  // the pace of the burst's reading client
    double timedSeconds = 1.5;    // round trips and connections per second run this long at most
    std::string commandLine;

    // Parses argv; throws std::invalid_argument with the usage text on a bad command line.
    static BenchOptions Parse(int argc, char** argv);
    bool Runs(const std::string& bridge) const;
};

}  // namespace tolvan::bench
