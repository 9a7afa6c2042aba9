#include <gtest/gtest.h>

#include "tests/e2e/ServerSandbox.h"
#include "tests/e2e/SessionSteps.h"
#include "tests/e2e/TcpClient.h"

namespace tolvan::e2e {
namespace {

std::string DoubledIac(const std::string& bytes) {
    std::string out;
    for (char c : bytes) {
        out += c;
        if (static_cast<unsigned char>(c) == 255) {
            out += c;
        }
    }
    return out;
}

// A client on base + 1 is asked for the password, admitted with it, and then every byte
// value crosses in both directions; 255 travels doubled on the telnet side.
TEST(BridgeRun, PasswordThenBytesBothWays) {
    ServerSandbox box;
    PseudoTerminal& device = box.AddPty(1);
    box.EnablePort(1, "Mirelo");
    ASSERT_TRUE(StartAndWaitFor(box, {1}));

    TcpClient client;
    ASSERT_TRUE(LogIn(client, box.DataPort(1), "Mirelo"));

    const std::string bytes = AllBytes();
    ASSERT_TRUE(device.Write(bytes));
    const std::string expected = DoubledIac(bytes);
    EXPECT_EQ(client.ReadBytes(expected.size()), expected);

    ASSERT_TRUE(client.Write(DoubledIac(bytes)));
    EXPECT_EQ(device.ReadBytes(bytes.size()), bytes);

    EXPECT_EQ(box.Stop()->code, 0);
    EXPECT_TRUE(client.WaitClosed());
}

// A port whose device is held by another program is listed but not opened; the error is
// logged and the other ports work.
TEST(BridgeRun, BusyDeviceDoesNotStopOtherPorts) {
    ServerSandbox box;
    PseudoTerminal& good = box.AddPty(1);
    PseudoTerminal& busy = box.AddPty(2);
    ASSERT_TRUE(busy.LockSlave());
    box.EnablePort(1);
    box.EnablePort(2);
    ASSERT_TRUE(StartAndWaitFor(box, {1}));

    ASSERT_TRUE(box.WaitForEvent("Could not open Serial Port 2 Error Message: "));
    for (const auto& entry : box.Events()) {
        if (entry.text.find("Could not open Serial Port 2") != std::string::npos) {
            EXPECT_EQ(entry.type, 1);
            EXPECT_EQ(entry.id, 109);
        }
    }
    EXPECT_FALSE(IsListening(box.DataPort(2)));

    TcpClient client;
    ASSERT_TRUE(LogIn(client, box.DataPort(1), "Mirelo"));
    ASSERT_TRUE(good.Write("ping"));
    EXPECT_EQ(client.ReadBytes(4), "ping");
    EXPECT_EQ(box.Stop()->code, 0);
}

}  // namespace
}  // namespace tolvan::e2e
