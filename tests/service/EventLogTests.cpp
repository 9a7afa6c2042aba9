#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include <clocale>
#include <cmath>
#include <ctime>
#include <string>

#include "server/core/Clock.h"
#include "server/core/DateTime.h"
#include "server/core/EventLog.h"
#include "server/service/EventLogSinks.h"
#include "server/service/EventSource.h"
#include "settings_store/RegistryStore.h"
#include "tests/support/FakeClock.h"
#include "tests/support/RecordingEventLogSink.h"
#include "tests/support/TempFolder.h"

namespace tolvan {
namespace {

// An empty message becomes a placeholder, for the caller too; an error starts with the local
// date and time.
TEST(EventLogTest, EmptyMessagePlaceholderAndErrorTime) {
    RecordingEventLogSink sink;
    FakeClock clock;
    EventLog log(sink, clock);
    std::string message;
    log.WriteEventLog(kEventInformation, kEventIdInformation, message);
    EXPECT_EQ(message, "<Empty Message>");
    log.LogError("M2S5 bad value");
    ASSERT_EQ(sink.entries.size(), 2u);
    EXPECT_EQ(sink.entries[0].text, "<Empty Message>");
    EXPECT_EQ(sink.entries[0].type, 4);
    EXPECT_EQ(sink.entries[0].id, 110);
    EXPECT_EQ(sink.entries[1].type, 1);
    EXPECT_EQ(sink.entries[1].id, 109);
    EXPECT_EQ(sink.entries[1].text, DateTimeText(clock.NowLocal()) + " M2S5 bad value");
    EXPECT_NE(DateTimeText(clock.NowLocal()), DateTimeText(clock.NowUtc()));
}

TEST(EventLogTest, FileSinkWritesOneEscapedLinePerEntryAndFanOutReachesAll) {
    TempFolder folder;
    std::string path = folder.File("events.log");
    FanOutEventLogSink fan;
    fan.Add(std::make_unique<FileEventLogSink>(path));
    fan.Add(std::make_unique<FileEventLogSink>(folder.File("missing/events.log")));  // ignored
    fan.Add(std::make_unique<FileEventLogSink>(path));
    fan.Write(1, 109, "a\\b\tc\r\nd");
    EXPECT_EQ(TempFolder::Read(path), "1\t109\ta\\\\b\\tc\\r\\nd\n1\t109\ta\\\\b\\tc\\r\\nd\n");
}

TEST(EventLogTest, FailureActionsAreTheFortyFourBytesOfThreeRestarts) {
    TempFolder folder;
    RegistryStore store(folder.File("registry.reg"));
    SetFailureActions(store, "TolvanServer");
    EXPECT_EQ(
        store.RegReadValue("SYSTEM\\CurrentControlSet\\Services\\TolvanServer", "FailureActions"),
        "0000000000000000000000000300000080510900"
        "0100000060EA0000"
        "0100000060EA0000"
        "0100000060EA0000");

    RegisterEventLogSource(store, "TolvanServer");
    const std::string key =
        "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\TolvanServer";
    EXPECT_EQ(store.RegReadValue(key, "TypesSupported"), "007");
    std::string file = store.RegReadValue(key, "EventMessageFile");
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file.front(), '/');
    struct stat info {};
    EXPECT_EQ(stat(file.c_str(), &info), 0) << file;
}

TEST(DateTimeTest, TextDropsTheTimeOnlyAtMidnight) {
    std::setlocale(LC_ALL, "C");
    DateTime midnight = 38687.0;  // 2005-12-01
    EXPECT_EQ(DateTimeText(midnight), "12/01/05");
    EXPECT_EQ(DateTimeText(midnight + Minutes(615)), "12/01/05 10:15:00");
    EXPECT_EQ(DateTimeText(midnight + Seconds(1)), "12/01/05 00:00:01");
    EXPECT_EQ(DateTimeText(kZeroDate), "12/30/99");
}

TEST(DateTimeTest, UnixSecondsConvertBothWays) {
    EXPECT_DOUBLE_EQ(FromUnixSeconds(0), 25569.0);
    EXPECT_DOUBLE_EQ(FromUnixSeconds(86400 * 1.5), 25570.5);
    EXPECT_NEAR(ToUnixSeconds(FromUnixSeconds(1700000000.25)), 1700000000.25, 1e-4);
}

// Runs body with TZ set to zone, restoring the previous zone afterwards.
template <typename Body>
void WithZone(const char* zone, Body body) {
    const char* old = getenv("TZ");
    std::string saved = old ? old : "";
    setenv("TZ", zone, 1);
    tzset();
    body();
    if (old) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TEST(ClockTest, LocalRunsAheadOfUtcByTheZoneOffset) {
    SystemClock clock;
    WithZone("CET-1CEST,M3.5.0,M10.5.0/3", [&] {
        DateTime utc = clock.NowUtc();
        DateTime local = clock.NowLocal();
        time_t now = time(nullptr);
        std::tm parts{};
        localtime_r(&now, &parts);
        double hours = parts.tm_isdst > 0 ? 2.0 : 1.0;
        EXPECT_NEAR((local - utc) * 24.0, hours, 0.01);
    });
    WithZone("UTC0", [&] { EXPECT_NEAR((clock.NowLocal() - clock.NowUtc()) * 86400.0, 0, 5); });
    EXPECT_NEAR(ToUnixSeconds(clock.NowUtc()), static_cast<double>(time(nullptr)), 5);
}

}  // namespace
}  // namespace tolvan
