#include <gtest/gtest.h>

#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "configurator/ServerSettings.h"
#include "configurator/SingleInstance.h"
#include "configurator/StartupStyle.h"

namespace tolvan::test {
namespace {

// Only the arguments exactly "-login", in any letter case, mark a log-in start.
TEST(StartupStyleTest, LoginArgument) {
    EXPECT_TRUE(IsLoginStart({QStringLiteral("-login")}));
    EXPECT_TRUE(IsLoginStart({QStringLiteral("-LOGIN")}));
    EXPECT_FALSE(IsLoginStart({QStringLiteral("-login"), QStringLiteral("x")}));
    EXPECT_FALSE(IsLoginStart({}));
    EXPECT_FALSE(IsLoginStart({QStringLiteral("login")}));
}

// A second instance finds the first, asks it to restore itself and can then end.
TEST(SingleInstanceTest, SecondInstanceRestoresFirst) {
    const QString name = QStringLiteral("tolvan-test-%1").arg(QCoreApplication::applicationPid());
    SingleInstance first(name);
    EXPECT_FALSE(first.SignalRunningInstance(200));
    ASSERT_TRUE(first.Listen());
    QSignalSpy restored(&first, &SingleInstance::RestoreRequested);

    SingleInstance second(name);
    EXPECT_TRUE(second.SignalRunningInstance());
    EXPECT_TRUE(QTest::qWaitFor([&restored] { return restored.count() == 1; }, 3000));
}

}  // namespace
}  // namespace tolvan::test
