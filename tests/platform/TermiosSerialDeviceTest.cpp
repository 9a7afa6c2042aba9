#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "server/platform/TermiosSerialDevice.h"
#include "server/platform/TermiosSerialDeviceFactory.h"
#include "tests/platform/PtyPair.h"

namespace tolvan {
namespace {

using test::PtyPair;
using test::WaitFor;

class TermiosSerialDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { test::App(); }

    // A device whose COM1 is the given path.
    std::unique_ptr<SerialDevice> DeviceAt(const std::string& path) {
        TermiosSerialDeviceFactory factory([path](int) { return path; });
        auto device = factory.Create();
        device->SetCommPort(1);
        device->SetSettings("9600,n,8,1");
        return device;
    }

    static int OpenFailure(SerialDevice& device) {
        try {
            device.SetPortOpen(true);
        } catch (const SerialError& e) {
            return e.Number();
        }
        return 0;
    }

    static double CpuSeconds() {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
};

// Paths that are no serial port at all count as absent (8002), so enumeration skips them.
TEST_F(TermiosSerialDeviceTest, AbsentPortsFailWithInvalidPort) {
    QTemporaryDir dir;
    const std::string file = dir.filePath(QStringLiteral("plain")).toStdString();
    FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);

    for (const std::string& path : {dir.filePath(QStringLiteral("missing")).toStdString(), file,
                                    dir.path().toStdString(), std::string("/dev/null")}) {
        auto device = DeviceAt(path);
        EXPECT_EQ(OpenFailure(*device), kSerialInvalidPort) << path;
        EXPECT_FALSE(device->PortOpen());
        EXPECT_FALSE(device->Present());
    }

    auto device = DeviceAt("/dev/null");
    EXPECT_THROW(device->SetCommPort(0), SerialError);
    EXPECT_THROW(device->SetCommPort(17), SerialError);
}

// A port held by another user is present but unusable: not 8002, with the system's text.
TEST_F(TermiosSerialDeviceTest, BusyPortIsPresentButUnusable) {
    PtyPair pty;
    auto first = DeviceAt(pty.Path());
    first->SetPortOpen(true);
    ASSERT_TRUE(first->PortOpen());

    auto second = DeviceAt(pty.Path());
    try {
        second->SetPortOpen(true);
        FAIL() << "second open succeeded";
    } catch (const SerialError& e) {
        EXPECT_NE(e.Number(), kSerialInvalidPort);
        EXPECT_STREQ(e.what(), "Device or resource busy");
    }
    EXPECT_FALSE(second->PortOpen());

    first->SetPortOpen(false);
    second->SetPortOpen(true);
    EXPECT_TRUE(second->PortOpen());
}

// Bad property values are refused when set, not at the next open.
TEST_F(TermiosSerialDeviceTest, BadPropertiesFailAtOnce) {
    PtyPair pty;
    auto device = DeviceAt(pty.Path());
    try {
        device->SetSettings("9600,x,8,1");
        FAIL() << "bad settings accepted";
    } catch (const SerialError& e) {
        EXPECT_EQ(e.Number(), kSerialBadSettings);
        EXPECT_STREQ(e.what(), "invalid line settings '9600,x,8,1'");
    }
    EXPECT_THROW(device->SetHandshaking(4), SerialError);
    EXPECT_THROW(device->SetHandshaking(-1), SerialError);
    EXPECT_THROW(device->SetOutBufferSize(-1), SerialError);

    // Modem lines, flow control and new settings are accepted while open (ptys lack lines).
    device->SetPortOpen(true);
    device->SetDTREnable(true);
    device->SetRTSEnable(true);
    device->SetHandshaking(3);
    device->SetSettings("115200,e,7,2");
    EXPECT_TRUE(device->Present());
    EXPECT_THROW(device->SetCommPort(2), SerialError);
}

// Closing the master is an unplugged adapter: data before it still arrives, then the
// device is no longer present, reading stops without spinning, and writing fails with 8021.
TEST_F(TermiosSerialDeviceTest, HangUpStopsReadingAndReportsAbsence) {
    PtyPair pty;
    auto device = DeviceAt(pty.Path());
    std::string received;
    int notifications = 0;
    device->SetOnComm([&](int event) {
        ++notifications;
        if (event == kCommEvReceive) {
            received += device->Input();
        }
    });
    device->SetPortOpen(true);
    ASSERT_TRUE(device->Present());

    ASSERT_EQ(pty.Write("bye"), 3U);
    ASSERT_TRUE(WaitFor([&] { return received == "bye"; }));
    pty.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return !device->Present(); }));

    const int before = notifications;
    const double cpuBefore = CpuSeconds();
    QTest::qWait(400);
    EXPECT_LT(CpuSeconds() - cpuBefore, 0.2) << "the event loop spins on the hung-up device";
    EXPECT_EQ(notifications, before);

    try {
        device->Output("x");
        FAIL() << "write to a vanished device succeeded";
    } catch (const SerialError& e) {
        EXPECT_EQ(e.Number(), kSerialDeviceFailed);
    }
    EXPECT_TRUE(device->Input().empty());
    device->SetPortOpen(false);
    EXPECT_FALSE(device->Present());
}

// A device node replaced under the same name is another device, not ours.
TEST_F(TermiosSerialDeviceTest, ReplacedNodeIsNotPresent) {
    PtyPair first;
    PtyPair second;
    QTemporaryDir dir;
    const std::string link = dir.filePath(QStringLiteral("ttyLink")).toStdString();
    ASSERT_EQ(symlink(first.Path().c_str(), link.c_str()), 0);

    auto device = DeviceAt(link);
    device->SetPortOpen(true);
    EXPECT_TRUE(device->Present());

    ASSERT_EQ(unlink(link.c_str()), 0);
    EXPECT_FALSE(device->Present());
    ASSERT_EQ(symlink(second.Path().c_str(), link.c_str()), 0);
    EXPECT_FALSE(device->Present());
}

// A handler may close or destroy the device; no event of the old opening follows.
TEST_F(TermiosSerialDeviceTest, HandlerMayCloseOrDestroyTheDevice) {
    PtyPair pty;
    auto device = DeviceAt(pty.Path());
    int notifications = 0;
    device->SetOnComm([&](int) {
        ++notifications;
        device->SetPortOpen(false);
    });
    device->SetPortOpen(true);
    ASSERT_EQ(pty.Write("abc"), 3U);
    ASSERT_TRUE(WaitFor([&] { return notifications > 0; }));
    QTest::qWait(50);
    EXPECT_EQ(notifications, 1);
    EXPECT_FALSE(device->PortOpen());

    // Reopening after a close in a handler works and sees only new data.
    std::string received;
    device->SetOnComm([&](int event) {
        if (event == kCommEvReceive) {
            received += device->Input();
        }
    });
    device->SetPortOpen(true);
    ASSERT_EQ(pty.Write("new"), 3U);
    ASSERT_TRUE(WaitFor([&] { return received == "new"; }));

    bool destroyed = false;
    device->SetOnComm([&](int) {
        destroyed = true;
        device.reset();  // nothing of the closure is touched after this
    });
    ASSERT_EQ(pty.Write("x"), 1U);
    ASSERT_TRUE(WaitFor([&] { return destroyed; }));
    QTest::qWait(50);
}

}  // namespace
}  // namespace tolvan
