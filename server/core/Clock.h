#pragma once

#include "server/core/DateTime.h"

namespace tolvan {

// The server's two clocks, injected so that time-driven rules are tested without waiting.
class Clock {
public:
    virtual ~Clock() = default;
    virtual DateTime NowUtc() const = 0;    // deadlines
    virtual DateTime NowLocal() const = 0;  // ConnectTime, CountersResetTime, log prefixes
};

// The system's clocks.
class SystemClock final : public Clock {
public:
    DateTime NowUtc() const override;
    DateTime NowLocal() const override;
};

}  // namespace tolvan
