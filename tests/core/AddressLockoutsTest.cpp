#include <gtest/gtest.h>

#include <string>

#include "server/core/AddressLockouts.h"
#include "server/core/SourceAddress.h"

namespace tolvan {
namespace {

constexpr DateTime kStart = 45444.5;

TEST(SourceAddressKeyTest, FormsOfOneSourceCountAlike) {
    EXPECT_EQ(SourceAddressKey("127.0.0.2"), "127.0.0.2");
    EXPECT_EQ(SourceAddressKey("::ffff:127.0.0.2"), "127.0.0.2");
    EXPECT_EQ(SourceAddressKey("::FFFF:7f00:2"), "127.0.0.2");
    // Every address of an IPv6 /64 is one source; the next /64 is another.
    EXPECT_EQ(SourceAddressKey("2001:db8:0:7:1:2:3:4"), "2001:db8:0:7::/64");
    EXPECT_EQ(SourceAddressKey("2001:DB8::7:ffff:ffff:ffff:ffff"), "2001:db8:0:7::/64");
    EXPECT_EQ(SourceAddressKey("2001:db8:0:8::1"), "2001:db8:0:8::/64");
    EXPECT_EQ(SourceAddressKey("fe80::1%eth0"), "fe80::/64");
    EXPECT_EQ(SourceAddressKey("::1"), "::/64");
    EXPECT_EQ(SourceAddressKey(std::string(100, 'x')), std::string(64, 'x'));
    EXPECT_EQ(SourceAddressKey(""), "");
}

TEST(AddressLockoutsTest, LimitLocksTheAddressForItsLengthThenItStartsAfresh) {
    AddressLockouts table;
    DateTime now = kStart;
    for (int i = 1; i <= 3; ++i) {
        const auto failure = table.AddFailure("10.0.0.1", now, 4, 10);
        EXPECT_EQ(failure.count, i);
        EXPECT_FALSE(failure.limitReached);
    }
    EXPECT_FALSE(table.Locked("10.0.0.1", now));
    const auto fourth = table.AddFailure("10.0.0.1", now, 4, 10);
    EXPECT_TRUE(fourth.limitReached);
    EXPECT_EQ(fourth.lockedUntil, now + Minutes(10));
    EXPECT_TRUE(table.Locked("10.0.0.1", now + Minutes(9.9)));
    EXPECT_FALSE(table.Locked("10.0.0.2", now));
    EXPECT_EQ(table.LockedCount(now), 1);

    table.CountRefused("10.0.0.1");
    table.CountRefused("10.0.0.1");
    EXPECT_FALSE(table.TakeEnded("10.0.0.1", now + Minutes(9.9)));
    now += Minutes(10);
    EXPECT_FALSE(table.Locked("10.0.0.1", now));
    const auto ended = table.TakeAllEnded(now);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].address, "10.0.0.1");
    EXPECT_EQ(ended[0].refused, 2);
    EXPECT_TRUE(table.TakeAllEnded(now).empty());
    EXPECT_EQ(table.AddFailure("10.0.0.1", now, 4, 10).count, 1);
}

TEST(AddressLockoutsTest, NoLimitNoLengthAndForgottenFailures) {
    AddressLockouts table;
    for (int i = 0; i < 1000; ++i) {
        EXPECT_FALSE(table.AddFailure("a", kStart, 0, 10).limitReached);
    }
    EXPECT_FALSE(table.Locked("a", kStart));

    // Length 0: the limit is reported (the connection closes) but nothing is locked.
    EXPECT_TRUE(table.AddFailure("b", kStart, 1, 0).limitReached);
    EXPECT_FALSE(table.Locked("b", kStart));

    // A failure older than the lock-out length no longer counts; a success clears the count.
    table.AddFailure("c", kStart, 3, 10);
    table.AddFailure("c", kStart, 3, 10);
    EXPECT_EQ(table.AddFailure("c", kStart + Minutes(11), 3, 10).count, 1);
    table.Clear("c");
    EXPECT_EQ(table.AddFailure("c", kStart + Minutes(11), 3, 10).count, 1);
}

TEST(AddressLockoutsTest, FailureEventsAreLimitedPerMinuteAndSummedUp) {
    AddressLockouts table;
    int logged = 0;
    for (int i = 0; i < 25; ++i) {
        logged += table.AddFailure("a", kStart + Seconds(i), 0, 10).logIt ? 1 : 0;
    }
    EXPECT_EQ(logged, AddressLockouts::kLoggedPerMinute);
    EXPECT_TRUE(table.TakeUnlogged(kStart + Seconds(59)).empty());
    const auto unlogged = table.TakeUnlogged(kStart + Seconds(60));
    ASSERT_EQ(unlogged.size(), 1u);
    EXPECT_EQ(unlogged[0].count, 15);
    EXPECT_TRUE(table.AddFailure("a", kStart + Seconds(61), 0, 10).logIt);

    // A new minute without a sweep hands the sum to the next failure.
    for (int i = 0; i < 12; ++i) {
        table.AddFailure("b", kStart, 0, 10);
    }
    EXPECT_EQ(table.AddFailure("b", kStart + Minutes(2), 0, 10).unloggedBefore, 2);
}

// A flood of new addresses keeps the table at its size and evicts addresses that are not
// locked out before any lock-out.
TEST(AddressLockoutsTest, TableStaysBoundedAndKeepsLockOutsLongest) {
    AddressLockouts table(8);
    for (int i = 0; i < 4; ++i) {
        table.AddFailure("locked" + std::to_string(i), kStart, 1, 10);
    }
    for (int i = 0; i < 10000; ++i) {
        table.AddFailure("flood" + std::to_string(i), kStart + Seconds(i % 50), 5, 10);
    }
    EXPECT_EQ(table.Size(), 8u);
    EXPECT_EQ(table.LockedCount(kStart), 4);
    EXPECT_EQ(table.EarliestLockEnd(kStart), kStart + Minutes(10));

    // Only when every entry is a lock-out does one go, the one ending first.
    AddressLockouts full(2);
    full.AddFailure("x", kStart + Minutes(1), 1, 10);
    full.AddFailure("y", kStart, 1, 10);
    full.AddFailure("z", kStart + Minutes(2), 1, 10);
    EXPECT_TRUE(full.Locked("x", kStart + Minutes(3)));
    EXPECT_FALSE(full.Locked("y", kStart + Minutes(3)));
    EXPECT_TRUE(full.Locked("z", kStart + Minutes(3)));
}

TEST(AddressLockoutsTest, CapNoticeOncePerSpell) {
    AddressLockouts table;
    EXPECT_TRUE(table.FirstRefusalAtCap("a", kStart));
    EXPECT_FALSE(table.FirstRefusalAtCap("a", kStart));
    table.EndCapSpell("a");
    EXPECT_TRUE(table.FirstRefusalAtCap("a", kStart));
}

}  // namespace
}  // namespace tolvan
