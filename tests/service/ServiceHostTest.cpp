#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <csignal>
#include <map>
#include <string>
#include <utility>

#include "server/service/ServiceHost.h"
#include "tests/support/FakeClock.h"

namespace tolvan {
namespace {

// Systemd sets NOTIFY_SOCKET (notify units) or INVOCATION_ID (every unit); empty counts as unset.
TEST(ServiceManager, RecognisesSystemdByItsVariables) {
    std::map<std::string, std::string> env;
    auto getEnv = [&env](const char* name) -> const char* {
        auto it = env.find(name);
        return it == env.end() ? nullptr : it->second.c_str();
    };
    EXPECT_FALSE(StartedByServiceManager(getEnv));
    env["NOTIFY_SOCKET"] = "";
    EXPECT_FALSE(StartedByServiceManager(getEnv));
    env["NOTIFY_SOCKET"] = "/run/systemd/notify";
    EXPECT_TRUE(StartedByServiceManager(getEnv));
    env.erase("NOTIFY_SOCKET");
    env["INVOCATION_ID"] = "0123456789abcdef";
    EXPECT_TRUE(StartedByServiceManager(getEnv));
}

// Without the Start notification the wait ends once 15 seconds have passed, not before.
TEST(StartWait, EndsAtTheDeadline) {
    FakeClock clock;
    const DateTime begin = clock.NowUtc();
    int rounds = 0;
    const bool started = WaitForStart(
        clock, [] { return false; },
        [&] {
            ++rounds;
            clock.AdvanceSeconds(0.5);
        });
    EXPECT_FALSE(started);
    // Day fractions round: the last step lands on or just past 15 s.
    const double waited = ToUnixSeconds(clock.NowUtc()) - ToUnixSeconds(begin);
    EXPECT_GE(waited, 15.0 - 1e-3);
    EXPECT_LT(waited, 15.5 + 1e-3);
    EXPECT_GE(rounds, 30);
    EXPECT_LE(rounds, 31);
}

// A Start notification handled while the wait lets events run ends the wait at once.
TEST(StartWait, EndsWhenStarted) {
    FakeClock clock;
    bool serviceStarted = false;
    int rounds = 0;
    EXPECT_TRUE(WaitForStart(
        clock, [&] { return serviceStarted; },
        [&] {
            serviceStarted = ++rounds == 3;
            clock.AdvanceSeconds(1);
        }));
    EXPECT_EQ(rounds, 3);

    // Already started: no event is processed at all.
    rounds = 0;
    EXPECT_TRUE(WaitForStart(
        clock, [] { return true; }, [&] { ++rounds; }));
    EXPECT_EQ(rounds, 0);
}

// A clock step past the deadline ends the wait at the next check.
TEST(StartWait, StepPastTheDeadlineEndsTheWait) {
    FakeClock clock;
    int rounds = 0;
    EXPECT_FALSE(WaitForStart(
        clock, [] { return false; },
        [&] {
            ++rounds;
            clock.AdvanceMinutes(60);
        }));
    EXPECT_EQ(rounds, 1);
}

class ServiceHostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "ServiceHostTest";
        static char* argv[] = {name, nullptr};
        if (QCoreApplication::instance() == nullptr) {
            app_ = new QCoreApplication(argc, argv);
        }
    }
    static void TearDownTestSuite() {
        delete app_;
        app_ = nullptr;
    }

    // Processes events until done() or the time (two seconds unless told) has passed.
    static bool ProcessUntil(const std::function<bool()>& done, int withinMs = 2000) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < withinMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        return done();
    }

    static QCoreApplication* app_;
};
QCoreApplication* ServiceHostTest::app_ = nullptr;

// Start comes from the event loop, never from inside StartService, in debug mode and under
// systemd; by hand without debug it never comes.
TEST_F(ServiceHostTest, StartOnlyUnderServiceManagerOrDebug) {
    for (const auto& [debug, managed] :
         {std::pair{true, false}, std::pair{false, true}, std::pair{false, false}}) {
        ServiceHost host(debug, managed);
        int starts = 0;
        host.SetOnStart([&] { ++starts; });
        ASSERT_TRUE(host.StartService());
        EXPECT_EQ(starts, 0);
        const bool expected = debug || managed;
        EXPECT_EQ(ProcessUntil([&] { return starts > 0; }, expected ? 2000 : 100), expected);
        QCoreApplication::processEvents();
        EXPECT_EQ(starts, expected ? 1 : 0) << debug << managed;
    }
}

// SIGTERM and SIGINT become one Stop notification each, delivered from the event loop.
TEST_F(ServiceHostTest, StopSignalsBecomeStopNotifications) {
    ServiceHost host(true, false);
    int stops = 0;
    host.SetOnStop([&] { ++stops; });
    ASSERT_TRUE(host.StartService());

    ASSERT_EQ(::raise(SIGTERM), 0);
    EXPECT_EQ(stops, 0);
    EXPECT_TRUE(ProcessUntil([&] { return stops == 1; }));

    ASSERT_EQ(::raise(SIGINT), 0);
    EXPECT_TRUE(ProcessUntil([&] { return stops == 2; }));
}

// Once the host is gone the default signal actions are back.
TEST_F(ServiceHostTest, RestoresSignalsOnDestruction) {
    {
        ServiceHost host(true, false);
        ASSERT_TRUE(host.StartService());
        struct sigaction current {};
        ASSERT_EQ(::sigaction(SIGTERM, nullptr, &current), 0);
        EXPECT_NE(current.sa_handler, SIG_DFL);
    }
    struct sigaction current {};
    ASSERT_EQ(::sigaction(SIGTERM, nullptr, &current), 0);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
}

}  // namespace
}  // namespace tolvan
