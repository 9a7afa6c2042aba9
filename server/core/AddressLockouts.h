#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "server/core/DateTime.h"

namespace tolvan {

// Failed logins of one port, counted per source address (SourceAddressKey) across all its
// connections, in a table of bounded size: a new address beyond the capacity evicts the
// least recently used one, addresses that are not locked out first. Times are UTC. The table
// only decides; the caller closes connections and writes the events.
class AddressLockouts {
public:
    static constexpr std::size_t kCapacity = 4096;
    // Failure events written per address and minute; the rest are summed up in one.
    static constexpr int kLoggedPerMinute = 10;

    AddressLockouts() = default;
    explicit AddressLockouts(std::size_t capacity) : capacity_(capacity) {}

    // What one failed login did to its address.
    struct Failure {
        int count = 0;                     // failures of the address, this one included
        bool limitReached = false;         // the count reached the limit and starts again
        DateTime lockedUntil = kZeroDate;  // the lock-out this failure started, if any
        bool logIt = true;                 // within the event rate of the address
        int unloggedBefore = 0;            // failures of an earlier minute not yet summed up
    };
    // maxAttempts below 1 means no limit. lockMinutes below 1 means that reaching the limit
    // locks nothing (the caller only closes the connection). A count whose last failure is
    // older than lockMinutes starts again, so rare typing errors never add up to a lock-out.
    Failure AddFailure(const std::string& address, DateTime now, int maxAttempts, int lockMinutes);

    bool Locked(const std::string& address, DateTime now) const;

    // A login succeeded: the address's count is forgotten. Returns the failures of the address
    // that were not logged one by one and not yet summed up.
    int Clear(const std::string& address);

    // A connection of a locked-out address was refused; the count shows in its end.
    void CountRefused(const std::string& address);

    // The address has as many connections waiting for a password as it may: true for the
    // first refusal of a spell, which lasts until EndCapSpell.
    bool FirstRefusalAtCap(const std::string& address, DateTime now);
    void EndCapSpell(const std::string& address);

    struct Ended {
        std::string address;
        DateTime lockedAt = kZeroDate;
        DateTime until = kZeroDate;
        int refused = 0;  // connections refused while it lasted
    };
    // The address's lock-out when it is over by now; the address then starts afresh.
    std::optional<Ended> TakeEnded(const std::string& address, DateTime now);
    // Every lock-out over by now.
    std::vector<Ended> TakeAllEnded(DateTime now);

    struct Unlogged {
        std::string address;
        int count = 0;
    };
    // Failures of minutes that are over, which were not logged one by one.
    std::vector<Unlogged> TakeUnlogged(DateTime now);

    // Addresses locked out at `now`, and the earliest end of their lock-outs (kZeroDate: none).
    int LockedCount(DateTime now) const;
    DateTime EarliestLockEnd(DateTime now) const;

    std::size_t Size() const { return entries_.size(); }

private:
    struct Entry {
        int failures = 0;
        DateTime lastFailure = kZeroDate;
        DateTime lockedAt = kZeroDate;
        DateTime lockedUntil = kZeroDate;  // kZeroDate: no lock-out
        int refused = 0;
        DateTime minuteStart = kZeroDate;  // the rate window of the failure events
        int loggedInMinute = 0;
        int unloggedInMinute = 0;
        bool atCap = false;
        DateTime lastUsed = kZeroDate;

        bool LockedAt(DateTime now) const { return lockedUntil != kZeroDate && now < lockedUntil; }
        bool LockOver(DateTime now) const {
            return lockedUntil != kZeroDate && !(now < lockedUntil);
        }
    };

    Entry& Touch(const std::string& address, DateTime now);
    void EvictOne(DateTime now);
    static Ended EndLock(const std::string& address, Entry& entry);

    std::size_t capacity_ = kCapacity;
    std::unordered_map<std::string, Entry> entries_;
};

}  // namespace tolvan
