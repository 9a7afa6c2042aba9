#include "bench/Report.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace tolvan::bench {

namespace {

struct MetricInfo {
    const char* key;
    const char* label;
};

const MetricInfo kMetrics[] = {
    {"s2t_MBps", "serial->TCP, 1 client [MB/s]"},
    {"s2t_cpu_s_per_GB", "serial->TCP CPU [s/GB]"},
    {"t2s_MBps", "TCP->serial, 1 client [MB/s]"},
    {"t2s_cpu_s_per_GB", "TCP->serial CPU [s/GB]"},
    {"fan1_MBps", "fan-out 1 client, total [MB/s]"},
    {"fan4_MBps", "fan-out 4 clients, total [MB/s]"},
    {"fan15_MBps", "fan-out 15 clients, total [MB/s]"},
    {"fan15_cpu_s_per_GB", "fan-out 15 CPU per GB delivered [s/GB]"},
    {"rtt_p50_us", "round trip p50 [us]"},
    {"rtt_p99_us", "round trip p99 [us]"},
    {"conn_per_s", "connections per second"},
    {"peak_rss_MB", "peak RSS, 1 port (VmHWM) [MB]"},
    {"idle_16x15_rss_MB", "RSS, 16 ports x 15 idle clients [MB]"},
    {"burst_line_MBps", "burst: line written at [MB/s]"},
    {"burst_lost_MB", "burst: lost by the paced reader [MB]"},
    {"burst_s", "burst: until the reader had all [s]"},
    {"burst_peak_rss_MB", "burst: peak RSS (VmHWM) [MB]"},
};

struct Target {
    const char* metric;
    const char* peer;
    double bound;
    bool atLeast;  // else at most
};

const Target kTargets[] = {
    {"s2t_MBps", "socat", 0.9, true},           {"s2t_cpu_s_per_GB", "socat", 1.3, false},
    {"fan15_MBps", "ser2net-tuned", 1.5, true}, {"rtt_p50_us", "socat", 1.0, false},
    {"conn_per_s", "ser2net-tuned", 5.0, true}, {"conn_per_s", "ser2net-default", 5.0, true},
};

constexpr double kIdleRssLimitMb = 20.0;

std::string Format(double value) {
    char text[32];
    std::snprintf(text, sizeof text, value >= 100 ? "%.0f" : value >= 10 ? "%.1f" : "%.2f", value);
    return text;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A markdown table header: the title column, then one column per name.
void PrintHeader(std::ostream& out, const char* title, const std::vector<std::string>& columns) {
    char line[512];
    std::snprintf(line, sizeof line, "| %-40s", title);
    out << line;
    for (const std::string& column : columns) {
        std::snprintf(line, sizeof line, " | %-22s", column.c_str());
        out << line;
    }
    out << " |\n|" << std::string(42, '-');
    for (std::size_t i = 0; i < columns.size(); ++i) {
        out << "|" << std::string(24, '-');
    }
    out << "|\n";
}

}  // namespace

void Report::Add(const std::string& bridge, int repetition,
                 const std::map<std::string, double>& m) {
    for (const auto& [metric, value] : m) {
        values_[bridge][metric][repetition] = value;
    }
}

void Report::Fail(const std::string& bridge, int repetition, const std::string& what) {
    failures_.push_back(bridge + " (repetition " + std::to_string(repetition + 1) + "): " + what);
}

Report::Summary Report::Summarise(const PerRepetition& values) {
    std::vector<double> sorted;
    for (const auto& [rep, value] : values) {
        sorted.push_back(value);
    }
    Summary summary;
    if (sorted.empty()) {
        return summary;
    }
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    summary.median = n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    summary.min = sorted.front();
    summary.max = sorted.back();
    summary.count = static_cast<int>(n);
    return summary;
}

const Report::PerRepetition* Report::Values(const std::string& bridge,
                                            const std::string& metric) const {
    const auto b = values_.find(bridge);
    if (b == values_.end()) {
        return nullptr;
    }
    const auto m = b->second.find(metric);
    return m == b->second.end() ? nullptr : &m->second;
}

Report::PerRepetition Report::Ratios(const std::string& peer, const std::string& metric) const {
    PerRepetition ratios;
    const PerRepetition* ours = Values("tolvan", metric);
    const PerRepetition* theirs = Values(peer, metric);
    if (ours == nullptr || theirs == nullptr) {
        return ratios;
    }
    for (const auto& [rep, value] : *ours) {
        const auto other = theirs->find(rep);
        if (other != theirs->end() && other->second > 0) {
            ratios[rep] = value / other->second;
        }
    }
    return ratios;
}

void Report::Print(std::ostream& out) const {
    const auto cell = [](const Summary& s) {
        return s.count == 0 ? std::string("-")
                            : Format(s.median) + " (" + Format(s.min) + "-" + Format(s.max) + ")";
    };
    char line[512];
    PrintHeader(out, "median (min-max)", bridges_);
    for (const MetricInfo& metric : kMetrics) {
        std::snprintf(line, sizeof line, "| %-40s", metric.label);
        out << line;
        for (const std::string& bridge : bridges_) {
            const PerRepetition* values = Values(bridge, metric.key);
            std::snprintf(line, sizeof line, " | %-22s",
                          values ? cell(Summarise(*values)).c_str() : "-");
            out << line;
        }
        out << " |\n";
    }
    out << "\nPaired ratios tolvan/peer, median (min-max) over repetitions:\n\n";
    std::vector<std::string> peers;
    for (const std::string& bridge : bridges_) {
        if (bridge != "tolvan") {
            peers.push_back("vs " + bridge);
        }
    }
    PrintHeader(out, "ratio", peers);
    for (const MetricInfo& metric : kMetrics) {
        std::snprintf(line, sizeof line, "| %-40s", metric.label);
        out << line;
        for (const std::string& bridge : bridges_) {
            if (bridge != "tolvan") {
                std::snprintf(line, sizeof line, " | %-22s",
                              cell(Summarise(Ratios(bridge, metric.key))).c_str());
                out << line;
            }
        }
        out << " |\n";
    }
    out << "\nTargets:\n";
    for (const Target& target : kTargets) {
        const Summary s = Summarise(Ratios(target.peer, target.metric));
        const bool met =
            s.count > 0 && (target.atLeast ? s.median >= target.bound : s.median <= target.bound);
        out << "  " << target.metric << " vs " << target.peer << (target.atLeast ? " >= " : " <= ")
            << Format(target.bound) << "x: "
            << (s.count == 0 ? "not measured" : Format(s.median) + "x " + (met ? "MET" : "MISSED"))
            << "\n";
    }
    const PerRepetition* idle = Values("tolvan", "idle_16x15_rss_MB");
    const Summary s = idle ? Summarise(*idle) : Summary{};
    out << "  idle_16x15_rss_MB < " << Format(kIdleRssLimitMb) << " MB: "
        << (s.count == 0
                ? "not measured"
                : Format(s.median) + " MB " + (s.median < kIdleRssLimitMb ? "MET" : "MISSED"))
        << "\n";
    const PerRepetition* lost = Values("tolvan", "burst_lost_MB");
    const Summary b = lost ? Summarise(*lost) : Summary{};
    out << "  burst_lost_MB = 0 in every repetition: "
        << (b.count == 0 ? "not measured"
                         : "max " + Format(b.max) + " MB " + (b.max == 0 ? "MET" : "MISSED"))
        << "\n";
    if (!failures_.empty()) {
        out << "\nFailures:\n";
        for (const std::string& failure : failures_) {
            out << "  " << failure << "\n";
        }
    }
}

void Report::WriteJson(const std::string& path, const BenchOptions& options,
                       double wallSeconds) const {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path);
    const std::time_t now = std::time(nullptr);
    char date[64];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
    out << "{\n  \"command\": " << JsonString(options.commandLine) << ",\n";
    out << "  \"date\": \"" << date << "\",\n";
    out << "  \"wall_seconds\": " << wallSeconds << ",\n";
    out << "  \"repetitions\": " << options.repetitions << ",\n";
    out << "  \"sizes_MB\": {\"s2t\": " << options.serialToTcpMb
        << ", \"t2s\": " << options.tcpToSerialMb << ", \"fan_out\": " << options.fanOutMb
        << "},\n";
    out << "  \"bridges\": {";
    bool firstBridge = true;
    for (const std::string& bridge : bridges_) {
        out << (firstBridge ? "\n" : ",\n") << "    " << JsonString(bridge) << ": {";
        firstBridge = false;
        bool firstMetric = true;
        const auto b = values_.find(bridge);
        if (b != values_.end()) {
            for (const auto& [metric, values] : b->second) {
                const Summary s = Summarise(values);
                out << (firstMetric ? "\n" : ",\n") << "      " << JsonString(metric)
                    << ": {\"median\": " << s.median << ", \"min\": " << s.min
                    << ", \"max\": " << s.max << ", \"values\": [";
                firstMetric = false;
                bool firstValue = true;
                for (const auto& [rep, value] : values) {
                    out << (firstValue ? "" : ", ") << value;
                    firstValue = false;
                }
                out << "]";
                if (bridge != "tolvan") {
                    const Summary r = Summarise(Ratios(bridge, metric));
                    if (r.count > 0) {
                        out << ", \"tolvan_ratio\": {\"median\": " << r.median
                            << ", \"min\": " << r.min << ", \"max\": " << r.max << "}";
                    }
                }
                out << "}";
            }
        }
        out << "\n    }";
    }
    out << "\n  },\n  \"failures\": [";
    for (std::size_t i = 0; i < failures_.size(); ++i) {
        out << (i == 0 ? "" : ", ") << JsonString(failures_[i]);
    }
    out << "]\n}\n";
}

}  // namespace tolvan::bench
