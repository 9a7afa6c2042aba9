#pragma once

#include <chrono>

namespace tolvan::bench {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

inline double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A point in time after which a wait gives up; every wait of the bench has one.
class Deadline {
public:
    explicit Deadline(Millis within) : end_(Clock::now() + within) {}
    bool Passed() const { return Clock::now() >= end_; }
    // Milliseconds left, for poll(); at least 0.
    int PollMillis() const {
        const auto left = std::chrono::duration_cast<Millis>(end_ - Clock::now()).count();
        return left > 0 ? static_cast<int>(left) : 0;
    }

private:
    Clock::time_point end_;
};

}  // namespace tolvan::bench
