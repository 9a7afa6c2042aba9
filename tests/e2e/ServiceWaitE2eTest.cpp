#include <gtest/gtest.h>

#include <chrono>

#include "tests/e2e/ServerSandbox.h"

namespace tolvan::e2e {
namespace {

// Started by hand without -debug and outside systemd, the server says on standard error what
// it waits for, waits 15 seconds for a Start that never comes, logs "App Ending..." and ends.
TEST(ServiceWait, EndsWhenNotStartedByServiceManager) {
    ServerSandbox box;
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_TRUE(box.Start({}));
    const auto status = box.Process().WaitExit(Millis(30000));
    const auto waited = std::chrono::steady_clock::now() - begin;
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(status->exited);
    EXPECT_EQ(status->code, 1);
    EXPECT_GE(waited, std::chrono::seconds(14));
    EXPECT_EQ(box.Stderr(),
              "TolvanServer: waiting 15 s for the service manager (systemd) to start this "
              "service; run 'TolvanServer -debug' to run it in the foreground.\n");

    const auto events = box.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, 4);
    EXPECT_EQ(events[0].id, 110);
    EXPECT_EQ(events[0].text, "App Ending... Not started from Service Manager");
}

}  // namespace
}  // namespace tolvan::e2e
