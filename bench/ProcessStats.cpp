#include "bench/ProcessStats.h"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace tolvan::bench {

namespace {

double StatusKb(pid_t pid, const std::string& field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with(field + ":")) {
            return std::stod(line.substr(field.size() + 1));
        }
    }
    return 0;
}

}  // namespace

double ProcessStats::CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The command name may hold blanks; the fields after it are fixed: state is field 3,
    // utime and stime are fields 14 and 15.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::istringstream fields(text.substr(close + 2));
    std::string skip;
    for (int field = 3; field < 14; ++field) {
        fields >> skip;
    }
    long long utime = 0;
    long long stime = 0;
    fields >> utime >> stime;
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double ProcessStats::RssMb(pid_t pid) {
    return StatusKb(pid, "VmRSS") * 1024.0 / 1e6;
}

double ProcessStats::PeakRssMb(pid_t pid) {
    return StatusKb(pid, "VmHWM") * 1024.0 / 1e6;
}

}  // namespace tolvan::bench
