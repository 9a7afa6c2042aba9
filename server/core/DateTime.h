#pragma once

#include <string>

namespace tolvan {

// A date-time counts days since 1899-12-30 00:00; the time is the fraction of the day.
// N seconds are added as N / 86400, N minutes as N / 1440.
using DateTime = double;

inline constexpr DateTime kZeroDate = 0.0;

inline constexpr DateTime Seconds(double n) {
    return n / 86400.0;
}
inline constexpr DateTime Minutes(double n) {
    return n / 1440.0;
}

// Seconds since the Unix epoch to days since 1899-12-30 and back.
DateTime FromUnixSeconds(double seconds);
double ToUnixSeconds(DateTime value);

// The general date-time text: "%x %X" in the process locale; the date alone at midnight.
// The value is taken as a wall-clock time of no particular zone.
std::string DateTimeText(DateTime value);

}  // namespace tolvan
