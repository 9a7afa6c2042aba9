#include "server/core/AddressLockouts.h"

#include <utility>

namespace tolvan {

AddressLockouts::Entry& AddressLockouts::Touch(const std::string& address, DateTime now) {
    auto found = entries_.find(address);
    if (found == entries_.end()) {
        if (entries_.size() >= capacity_) {
            EvictOne(now);
        }
        found = entries_.emplace(address, Entry{}).first;
    }
    found->second.lastUsed = now;
    return found->second;
}

void AddressLockouts::EvictOne(DateTime now) {
    // A lock-out is dropped only when every entry is one, and then the one ending first.
    auto victim = entries_.end();
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (victim == entries_.end()) {
            victim = it;
            continue;
        }
        const bool itLocked = it->second.LockedAt(now);
        const bool victimLocked = victim->second.LockedAt(now);
        if (itLocked != victimLocked) {
            if (!itLocked) {
                victim = it;
            }
        } else if (itLocked ? it->second.lockedUntil < victim->second.lockedUntil
                            : it->second.lastUsed < victim->second.lastUsed) {
            victim = it;
        }
    }
    if (victim != entries_.end()) {
        entries_.erase(victim);
    }
}

AddressLockouts::Failure AddressLockouts::AddFailure(const std::string& address, DateTime now,
                                                     int maxAttempts, int lockMinutes) {
    Entry& entry = Touch(address, now);
    Failure result;
    if (!(now < entry.minuteStart + Minutes(1))) {
        result.unloggedBefore = std::exchange(entry.unloggedInMinute, 0);
        entry.minuteStart = now;
        entry.loggedInMinute = 0;
    }
    if (entry.loggedInMinute < kLoggedPerMinute) {
        ++entry.loggedInMinute;
    } else {
        ++entry.unloggedInMinute;
        result.logIt = false;
    }
    if (entry.LockedAt(now)) {
        result.count = entry.failures;  // nothing extends a running lock-out
        return result;
    }
    if (lockMinutes >= 1 && entry.lastFailure + Minutes(lockMinutes) < now) {
        entry.failures = 0;
    }
    entry.lastFailure = now;
    result.count = ++entry.failures;
    if (maxAttempts >= 1 && entry.failures >= maxAttempts) {
        result.limitReached = true;
        entry.failures = 0;
        if (lockMinutes >= 1) {
            entry.lockedAt = now;
            entry.lockedUntil = now + Minutes(lockMinutes);
            entry.refused = 0;
            result.lockedUntil = entry.lockedUntil;
        }
    }
    return result;
}

bool AddressLockouts::Locked(const std::string& address, DateTime now) const {
    const auto found = entries_.find(address);
    return found != entries_.end() && found->second.LockedAt(now);
}

int AddressLockouts::Clear(const std::string& address) {
    const auto found = entries_.find(address);
    if (found == entries_.end()) {
        return 0;
    }
    const int unlogged = found->second.unloggedInMinute;
    entries_.erase(found);
    return unlogged;
}

void AddressLockouts::CountRefused(const std::string& address) {
    const auto found = entries_.find(address);
    if (found != entries_.end()) {
        ++found->second.refused;
    }
}

bool AddressLockouts::FirstRefusalAtCap(const std::string& address, DateTime now) {
    return !std::exchange(Touch(address, now).atCap, true);
}

void AddressLockouts::EndCapSpell(const std::string& address) {
    const auto found = entries_.find(address);
    if (found != entries_.end()) {
        found->second.atCap = false;
    }
}

AddressLockouts::Ended AddressLockouts::EndLock(const std::string& address, Entry& entry) {
    Ended ended{address, entry.lockedAt, entry.lockedUntil, entry.refused};
    entry.lockedAt = kZeroDate;
    entry.lockedUntil = kZeroDate;
    entry.refused = 0;
    entry.failures = 0;
    return ended;
}

std::optional<AddressLockouts::Ended> AddressLockouts::TakeEnded(const std::string& address,
                                                                 DateTime now) {
    const auto found = entries_.find(address);
    if (found == entries_.end() || !found->second.LockOver(now)) {
        return std::nullopt;
    }
    return EndLock(address, found->second);
}

std::vector<AddressLockouts::Ended> AddressLockouts::TakeAllEnded(DateTime now) {
    std::vector<Ended> ended;
    for (auto& [address, entry] : entries_) {
        if (entry.LockOver(now)) {
            ended.push_back(EndLock(address, entry));
        }
    }
    return ended;
}

std::vector<AddressLockouts::Unlogged> AddressLockouts::TakeUnlogged(DateTime now) {
    std::vector<Unlogged> unlogged;
    for (auto& [address, entry] : entries_) {
        if (entry.unloggedInMinute > 0 && !(now < entry.minuteStart + Minutes(1))) {
            unlogged.push_back({address, std::exchange(entry.unloggedInMinute, 0)});
            entry.loggedInMinute = 0;
            entry.minuteStart = kZeroDate;
        }
    }
    return unlogged;
}

int AddressLockouts::LockedCount(DateTime now) const {
    int count = 0;
    for (const auto& [address, entry] : entries_) {
        count += entry.LockedAt(now) ? 1 : 0;
    }
    return count;
}

DateTime AddressLockouts::EarliestLockEnd(DateTime now) const {
    DateTime earliest = kZeroDate;
    for (const auto& [address, entry] : entries_) {
        if (entry.LockedAt(now) && (earliest == kZeroDate || entry.lockedUntil < earliest)) {
            earliest = entry.lockedUntil;
        }
    }
    return earliest;
}

}  // namespace tolvan
