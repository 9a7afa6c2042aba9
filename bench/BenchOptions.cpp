#include "bench/BenchOptions.h"

#include <algorithm>
#include <stdexcept>

namespace tolvan::bench {

namespace {

const char* const kUsage =
    "usage: tolvan_bench --server PATH [--socat PATH] [--ser2net PATH] [--work DIR]\n"
    "       [--json FILE] [--reps N] [--s2t-mb MB] [--t2s-mb MB] [--fanout-mb MB]\n"
    "       [--burst-mib MIB] [--burst-reader-mbps MB/S] [--timed-seconds S]\n"
    "       [--bridges tolvan,socat,ser2net-tuned,ser2net-default]\n";

std::vector<std::string> SplitCommas(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        if (comma > start) {
            parts.push_back(text.substr(start, comma - start));
        }
        start = comma + 1;
    }
    return parts;
}

}  // namespace

BenchOptions BenchOptions::Parse(int argc, char** argv) {
    BenchOptions options;
    for (int i = 0; i < argc; ++i) {
        options.commandLine += (i > 0 ? " " : "") + std::string(argv[i]);
    }
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (i + 1 >= argc) {
            throw std::invalid_argument(kUsage);
        }
        const std::string value = argv[++i];
        if (flag == "--server") {
            options.server = value;
        } else if (flag == "--socat") {
            options.socat = value;
        } else if (flag == "--ser2net") {
            options.ser2net = value;
        } else if (flag == "--work") {
            options.workDir = value;
        } else if (flag == "--json") {
            options.json = value;
        } else if (flag == "--reps") {
            options.repetitions = std::max(1, std::stoi(value));
        } else if (flag == "--s2t-mb") {
            options.serialToTcpMb = std::stod(value);
        } else if (flag == "--t2s-mb") {
            options.tcpToSerialMb = std::stod(value);
        } else if (flag == "--fanout-mb") {
            options.fanOutMb = std::stod(value);
        } else if (flag == "--burst-mib") {
            options.burstMib = std::stod(value);
        } else if (flag == "--burst-reader-mbps") {
            options.burstReaderMBps = std::stod(value);
        } else if (flag == "--timed-seconds") {
            options.timedSeconds = std::stod(value);
        } else if (flag == "--bridges") {
            options.bridges = SplitCommas(value);
        } else {
            throw std::invalid_argument(kUsage);
        }
    }
    if (options.server.empty() || options.workDir.empty()) {
        throw std::invalid_argument(kUsage);
    }
    return options;
}

bool BenchOptions::Runs(const std::string& bridge) const {
    return bridges.empty() || std::find(bridges.begin(), bridges.end(), bridge) != bridges.end();
}

}  // namespace tolvan::bench
