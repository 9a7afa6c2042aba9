#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "server/bridge/PortControl.h"
#include "tests/support/FakeServer.h"
#include "tests/support/TempFolder.h"

namespace tolvan {
namespace {

class PortControlTest : public ::testing::Test, public FakeServer {};

TEST_F(PortControlTest, EnabledServerPortOpensDeviceAndListensOnBasePlusComNumber) {
    const int p = AddPort(5);
    Port(p).Handshaking = 2;
    Port(p).ListenerShutdownTime = 45000;
    TempFolder logs;
    ctx.settings.LogDirectory = std::filesystem::path(logs.File("com5.log")).parent_path();
    Port(p).LogFile = "com5.log";
    ApplyPortSettings(ctx, p);
    const FakeSerialDevice& device = Device(p);
    EXPECT_TRUE(device.open);
    EXPECT_EQ(serials.ports.held, std::set<int>{5});
    EXPECT_TRUE(device.dtr && device.rts);
    EXPECT_EQ(device.handshaking, 2);
    EXPECT_EQ(device.inBufferSize, 2048);
    EXPECT_EQ(device.outBufferSize, 1024);
    EXPECT_EQ(device.settings, "9600,n,8,1");
    EXPECT_EQ(Listener(p).state, kSocketListening);
    EXPECT_EQ(Listener(p).localPort, 5005);
    EXPECT_EQ(Port(p).ListenerShutdownTime, kZeroDate);
    EXPECT_TRUE(Port(p).LogToFile);
    EXPECT_TRUE(std::filesystem::exists(logs.File("com5.log")));
}

// New line settings take effect on the reopened device; a client that is connected stays so.
TEST_F(PortControlTest, ReapplyReopensDeviceAndKeepsListeningListener) {
    const int p = StartPort(5);
    const int c = Connect(p);
    Port(p).Settings = "19200,e,7,1";
    ApplyPortSettings(ctx, p);
    EXPECT_EQ(Device(p).opens, 2);
    EXPECT_TRUE(Device(p).open);
    EXPECT_EQ(Device(p).settings, "19200,e,7,1");
    EXPECT_EQ(Listener(p).state, kSocketListening);
    EXPECT_TRUE(Slot(p, c).InUse);
}

TEST_F(PortControlTest, BusyDeviceDisablesPortWithoutListener) {
    serials.ports.busy.insert(5);
    const int p = StartPort(5);
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_EQ(sink.entries[0].type, kEventError);
    EXPECT_TRUE(sink.Contains(" Could not open Serial Port 5 Error Message: COM5 is busy"));
    EXPECT_FALSE(Port(p).Enabled);
    EXPECT_NE(Listener(p).state, kSocketListening);
}

TEST_F(PortControlTest, OpenFailureOnReconfigureLeavesConnectionsAlone) {
    const int p = StartPort(2);
    const int c = Connect(p);
    serials.ports.absent.insert(2);
    ApplyPortSettings(ctx, p);
    EXPECT_TRUE(sink.Contains("Could not open Serial Port 2 Error Message: COM2 does not exist"));
    EXPECT_FALSE(Port(p).Enabled);
    EXPECT_TRUE(Slot(p, c).InUse);
    EXPECT_EQ(Listener(p).state, kSocketListening);
}

TEST_F(PortControlTest, RejectedLineSettingsStopBeforeOpening) {
    serials.ports.rejectedSettings.insert("9600,x,8,1");
    const int p = AddPort(1);
    Port(p).Settings = "9600,x,8,1";
    ApplyPortSettings(ctx, p);
    EXPECT_TRUE(sink.Contains("M2S3 invalid line settings '9600,x,8,1'"));
    EXPECT_FALSE(Device(p).open);
    EXPECT_TRUE(Port(p).Enabled);
    EXPECT_NE(Listener(p).state, kSocketListening);
}

TEST_F(PortControlTest, DisablingClosesConnectionsListenerAndDevice) {
    const int p = StartPort(1);
    const int client = StartPort(2, 1);
    Connect(p);
    Connect(p);
    Slot(client, 1).InUse = true;
    Sock(client, 1).state = kSocketConnected;
    for (const int port : {p, client}) {
        Port(port).Enabled = false;
        ApplyPortSettings(ctx, port);
        EXPECT_FALSE(Slot(port, 1).InUse);
        EXPECT_EQ(Sock(port, 1).state, kSocketClosed);
    }
    EXPECT_FALSE(Slot(p, 2).InUse);
    EXPECT_EQ(Sock(p, 2).state, kSocketClosed);
    EXPECT_EQ(Listener(p).state, kSocketClosed);
    EXPECT_FALSE(Device(p).open);
    EXPECT_TRUE(serials.ports.held.empty());
}

TEST_F(PortControlTest, LineErrorsAreCountedAlwaysAndTracedOnlyWhenOn) {
    const int p = StartPort(1);
    Device(p).Fire(kCommEventRxParity);
    EXPECT_EQ(Port(p).Counters[kCounterParity], 1);
    EXPECT_TRUE(reports.Starting("DA").empty());

    Port(p).TraceOn = true;
    Device(p).Fire(kCommEventRxParity);
    Device(p).Fire(kCommEventFrame);
    Device(p).Fire(kCommEventOverrun);
    Device(p).Fire(kCommEventRxOver);
    Device(p).Fire(kCommEventTxFull);
    Device(p).Fire(kCommEventBreak);
    Device(p).Fire(1011);
    EXPECT_EQ(Port(p).Counters[kCounterParity], 2);
    EXPECT_EQ(Port(p).Counters[kCounterFraming], 1);
    EXPECT_EQ(Port(p).Counters[kCounterOverrun], 1);
    EXPECT_EQ(Port(p).Counters[kCounterRxOverflow], 1);
    EXPECT_EQ(Port(p).Counters[kCounterTxFull], 1);
    EXPECT_EQ(reports.Starting("DA"),
              (std::vector<std::string>{"DA 0 2 Parity Error", "DA 0 2 Framing Error",
                                        "DA 0 2 Port Over Run", "DA 0 2 RX Buffer Overflow",
                                        "DA 0 2 TX Buffer Full"}));
}

TEST_F(PortControlTest, ReceivedCharactersAreCountedAndForwarded) {
    const int p = StartPort(1);
    Port(p).ConnectPassword.clear();
    const int c = Connect(p);
    Sock(p, c).TakeSent();
    Device(p).Receive("0123456789");
    EXPECT_EQ(Port(p).Counters[kCounterFromSerial], 10);
    EXPECT_EQ(Sock(p, c).sent, "0123456789");
    EXPECT_TRUE(Device(p).input.empty());
}

TEST_F(PortControlTest, SerialPortPresentNeverThrows) {
    const int p = StartPort(1);
    EXPECT_TRUE(SerialPortPresent(ctx, p));
    Device(p).vanished = true;
    EXPECT_FALSE(SerialPortPresent(ctx, p));
    EXPECT_FALSE(SerialPortPresent(ctx, 9));
}

TEST_F(PortControlTest, ProbeElementsGetNoHandlers) {
    auto& probe = static_cast<FakeSocket&>(ctx.sckMain.Create(kProbeIndex));
    EXPECT_FALSE(probe.events.ConnectionRequest);
    EXPECT_FALSE(probe.events.DataArrival);
    auto& device = static_cast<FakeSerialDevice&>(ctx.SerialIO.Create(kProbeIndex));
    device.Fire(kCommEventRxParity);
    EXPECT_TRUE(sink.entries.empty());
}

}  // namespace
}  // namespace tolvan
