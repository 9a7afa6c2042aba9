#pragma once

#include "server/core/Clock.h"
#include "server/core/DateTime.h"

namespace tolvan {

// A clock the test sets and moves by hand; local time runs a fixed offset from UTC.
class FakeClock final : public Clock {
public:
    // 2024-06-01 12:00 UTC, local one hour ahead.
    static constexpr DateTime kStartUtc = 45444.5;
    static constexpr DateTime kLocalOffset = 1.0 / 24.0;

    DateTime NowUtc() const override { return utc_; }
    DateTime NowLocal() const override { return utc_ + localOffset_; }

    void SetUtc(DateTime utc) { utc_ = utc; }
    void SetLocalOffset(DateTime offset) { localOffset_ = offset; }
    // Moves both clocks on.
    void AdvanceSeconds(double seconds) { utc_ += Seconds(seconds); }
    void AdvanceMinutes(double minutes) { utc_ += Minutes(minutes); }

private:
    DateTime utc_ = kStartUtc;
    DateTime localOffset_ = kLocalOffset;
};

}  // namespace tolvan
