#include "server/core/DateTime.h"

#include <cmath>
#include <ctime>

namespace tolvan {

namespace {

// 1970-01-01 in days since 1899-12-30.
constexpr double kUnixEpochDays = 25569.0;
constexpr double kSecondsPerDay = 86400.0;

}  // namespace

DateTime FromUnixSeconds(double seconds) {
    return kUnixEpochDays + seconds / kSecondsPerDay;
}

double ToUnixSeconds(DateTime value) {
    return (value - kUnixEpochDays) * kSecondsPerDay;
}

std::string DateTimeText(DateTime value) {
    // The value is a wall-clock time already, so it is broken down without any zone.
    auto seconds = static_cast<time_t>(std::llround(ToUnixSeconds(value)));
    std::tm parts{};
    if (gmtime_r(&seconds, &parts) == nullptr) {
        return {};
    }
    bool midnight = parts.tm_hour == 0 && parts.tm_min == 0 && parts.tm_sec == 0;
    char buf[128];
    size_t n = std::strftime(buf, sizeof buf, midnight ? "%x" : "%x %X", &parts);
    return std::string(buf, n);
}

}  // namespace tolvan
