#include "server/core/Clock.h"

#include <ctime>

namespace tolvan {

namespace {

timespec Now() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

double Seconds(const timespec& t) {
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

}  // namespace

DateTime SystemClock::NowUtc() const {
    return FromUnixSeconds(Seconds(Now()));
}

DateTime SystemClock::NowLocal() const {
    timespec now = Now();
    std::tm local{};
    if (localtime_r(&now.tv_sec, &local) == nullptr) {
        return FromUnixSeconds(Seconds(now));
    }
    // The zone's offset in force at this instant, daylight saving included.
    return FromUnixSeconds(Seconds(now) + static_cast<double>(local.tm_gmtoff));
}

}  // namespace tolvan
