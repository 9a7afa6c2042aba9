#pragma once

#include <chrono>
#include <thread>

namespace tolvan::e2e {

using Millis = std::chrono::milliseconds;

// A point in time a bounded wait must not pass.
class Deadline {
public:
    explicit Deadline(Millis within) : end_(std::chrono::steady_clock::now() + within) {}

    bool Passed() const { return std::chrono::steady_clock::now() >= end_; }
    // Milliseconds left, at least 0.
    int LeftMs() const {
        const auto left =
            std::chrono::duration_cast<Millis>(end_ - std::chrono::steady_clock::now()).count();
        return left > 0 ? static_cast<int>(left) : 0;
    }

private:
    std::chrono::steady_clock::time_point end_;
};

// Checks done() every few milliseconds until it answers true or the time is up.
template <class Predicate>
bool WaitFor(Predicate done, Millis within, Millis step = Millis(20)) {
    const Deadline deadline(within);
    while (!done()) {
        if (deadline.Passed()) {
            return false;
        }
        std::this_thread::sleep_for(step);
    }
    return true;
}

}  // namespace tolvan::e2e
