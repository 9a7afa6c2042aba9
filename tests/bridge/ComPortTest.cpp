#include <gtest/gtest.h>

#include <string>

#include "tests/support/Bytes.h"
#include "tests/support/FakeServer.h"

namespace tolvan {
namespace {

// IAC SB COM-PORT-OPTION command value IAC SE.
std::string Sb(int command, const std::string& value = {}) {
    return Bytes({255, 250, 44, command}) + value + Bytes({255, 240});
}

const std::string kAgree = Bytes({255, 253, 44, 255, 251, 44});

class ComPortTest : public ::testing::Test, public FakeServer {
protected:
    void SetUp() override {
        p = AddPort(2);
        Port(p).Rfc2217 = true;
        Port(p).ConnectPassword.clear();
        ApplyPortSettings(ctx, p);
    }
    // A client that agreed to COM-PORT-OPTION; the agreement is taken from the socket.
    int LineClient() {
        const int c = Connect(p);
        Sock(p, c).FireDataArrival(kAgree);
        EXPECT_EQ(Sock(p, c).TakeSent(), Bytes({255, 251, 44, 255, 253, 44}));
        return c;
    }
    std::string Ask(int c, int command, const std::string& value) {
        Sock(p, c).FireDataArrival(Sb(command, value));
        return Sock(p, c).TakeSent();
    }

    int p = 0;
};

TEST_F(ComPortTest, NegotiationIsAnsweredOnceAndOthersAreRefused) {
    const int c = Connect(p);
    EXPECT_EQ(Sock(p, c).sent, "");  // no greeting: every byte would be taken for line data
    Sock(p, c).FireDataArrival(Bytes({255, 251, 0, 255, 253, 3, 255, 253, 1, 255, 251, 44}) + "ab" +
                               Bytes({255, 251, 44, 255, 255}));
    EXPECT_EQ(Sock(p, c).TakeSent(), Bytes({255, 253, 0, 255, 251, 3, 255, 252, 1, 255, 253, 44}));
    EXPECT_EQ(Device(p).written, "ab" + Bytes({255}));

    // Without the setting the option is refused as any other.
    Port(p).Rfc2217 = false;
    Sock(p, c).FireDataArrival(Bytes({255, 253, 44}) + Sb(1, Bytes({0, 0, 75, 0})));
    EXPECT_EQ(Sock(p, c).TakeSent(), Bytes({255, 252, 44}));
    EXPECT_EQ(Device(p).settings, "9600,n,8,1");
}

TEST_F(ComPortTest, ChangesGoToTheLiveLineAndAnswersCarryTheValueInForce) {
    const int c = LineClient();
    EXPECT_EQ(Ask(c, 1, Bytes({0, 0, 75, 0})), Sb(101, Bytes({0, 0, 75, 0})));  // 19200
    EXPECT_EQ(Ask(c, 2, Bytes({7})), Sb(102, Bytes({7})));
    EXPECT_EQ(Ask(c, 3, Bytes({3})), Sb(103, Bytes({3})));  // even
    EXPECT_EQ(Ask(c, 4, Bytes({2})), Sb(104, Bytes({2})));
    EXPECT_EQ(Device(p).settings, "19200,e,7,2");
    // A rate the line cannot take and a data size out of range keep what is in force.
    EXPECT_EQ(Ask(c, 1, Bytes({0, 0, 48, 57})), Sb(101, Bytes({0, 0, 75, 0})));
    EXPECT_EQ(Ask(c, 2, Bytes({9})), Sb(102, Bytes({7})));
    EXPECT_EQ(Ask(c, 1, Bytes({0, 0, 0, 0})), Sb(101, Bytes({0, 0, 75, 0})));

    EXPECT_EQ(Ask(c, 5, Bytes({3})), Sb(105, Bytes({3})));  // hardware flow control
    EXPECT_EQ(Device(p).handshaking, 2);
    EXPECT_EQ(Ask(c, 5, Bytes({9})), Sb(105, Bytes({9})));  // DTR off
    EXPECT_EQ(Ask(c, 5, Bytes({5})), Sb(105, Bytes({5})));  // break on
    EXPECT_EQ(Ask(c, 5, Bytes({7})) + Ask(c, 5, Bytes({4})),
              Sb(105, Bytes({9})) + Sb(105, Bytes({5})));
    EXPECT_FALSE(Device(p).dtr);
    EXPECT_TRUE(Device(p).breakOn);
    EXPECT_EQ(Ask(c, 12, Bytes({3})), Sb(112, Bytes({3})));
    EXPECT_EQ(Device(p).purged, "11");
    EXPECT_NE(Ask(c, 0, "").find("Tolvan Server"), std::string::npos);

    EXPECT_EQ(Port(p).Settings, "9600,n,8,1");  // the store's value is left alone
    EXPECT_TRUE(
        sink.Contains("Serial Port 2: connection 1 from 192.0.2.1 set the baud rate to "
                      "19200 (RFC 2217)."));
    // The client's own signature is logged with its hostile bytes escaped.
    Ask(c, 0, "pc\x1b[2J");
    EXPECT_TRUE(sink.Contains("is 'pc<1B>[2J'"));

    // A client that toggles a line without pause is logged 20 times a minute at most.
    for (int i = 0; i < 50; ++i) {
        Ask(c, 5, Bytes({i % 2 == 0 ? 11 : 12}));
    }
    EXPECT_LE(sink.Count("(RFC 2217)."), 24);
    EXPECT_EQ(sink.Count("further changes within the minute are not logged"), 1);
    clock.AdvanceMinutes(2);
    Ask(c, 5, Bytes({11}));
    EXPECT_TRUE(sink.entries.back().text.ends_with("set RTS on (RFC 2217)."));
}

TEST_F(ComPortTest, BeforeTheLoginAnswersReportAndNothingChanges) {
    Port(p).ConnectPassword = "Mirelo";
    const int c = Connect(p);
    EXPECT_EQ(Sock(p, c).TakeSent(), "\r\nPassword:");
    Sock(p, c).FireDataArrival(kAgree);
    Sock(p, c).TakeSent();
    EXPECT_EQ(Ask(c, 1, Bytes({0, 0, 75, 0})), Sb(101, Bytes({0, 0, 37, 128})));  // 9600
    EXPECT_EQ(Ask(c, 5, Bytes({9})), Sb(105, Bytes({8})));
    EXPECT_EQ(Device(p).settings, "9600,n,8,1");
    Sock(p, c).FireDataArrival("Mirelo\r" + Sb(1, Bytes({0, 0, 75, 0})));
    EXPECT_EQ(Sock(p, c).TakeSent(), "\r\nConnected....\r\n" + Sb(101, Bytes({0, 0, 75, 0})));
    EXPECT_EQ(Device(p).settings, "19200,n,8,1");

    // Stored settings as an operator may type them are read alike.
    Device(p).settings = " 9600, E ,7,1.5";
    EXPECT_EQ(Ask(c, 3, Bytes({0})) + Ask(c, 4, Bytes({0})) + Ask(c, 2, Bytes({0})),
              Sb(103, Bytes({3})) + Sb(104, Bytes({3})) + Sb(102, Bytes({7})));
}

TEST_F(ComPortTest, HostileSubnegotiationsAreDropped) {
    const int c = LineClient();
    // Too long, a lone IAC inside, a value of the wrong length, an unknown command.
    Sock(p, c).FireDataArrival(Sb(1, std::string(80, 'x')) + Sb(2, Bytes({255, 7})) +
                               Sb(1, Bytes({0, 75, 0})) + Sb(99, "") + Sb(3, ""));
    EXPECT_EQ(Sock(p, c).TakeSent(), "");
    EXPECT_EQ(Device(p).settings, "9600,n,8,1");
    // A mask of 255 travels doubled.
    EXPECT_EQ(Ask(c, 10, Bytes({255, 255})), Sb(110, Bytes({255, 255})));
}

TEST_F(ComPortTest, LineAndModemChangesReachTheClientsThatAskedForThem) {
    const int a = LineClient();
    const int b = LineClient();
    const int plain = Connect(p);     // no line control: told nothing
    EXPECT_TRUE(Device(p).watching);  // the modem mask starts at 255
    EXPECT_EQ(Ask(a, 10, Bytes({0x08})), Sb(110, Bytes({0x08})));
    EXPECT_EQ(Ask(b, 11, Bytes({0x10})), Sb(111, Bytes({0x10})));

    Device(p).Fire(kCommEventFrame);
    Device(p).Fire(kCommEventRxParity);
    EXPECT_EQ(Sock(p, a).TakeSent(), Sb(106, Bytes({0x08})));
    EXPECT_EQ(Sock(p, b).TakeSent(), "");

    Device(p).SetModem(kModemCts | kModemDcd);
    EXPECT_EQ(Sock(p, a).TakeSent(), Sb(107, Bytes({0x99})));
    EXPECT_EQ(Sock(p, b).TakeSent(), Sb(107, Bytes({0x10})));
    Device(p).SetModem(kModemCts | kModemDcd | kModemRi);
    Device(p).SetModem(kModemCts | kModemDcd);  // the ring ends: a trailing edge
    EXPECT_EQ(Sock(p, a).TakeSent(), Sb(107, Bytes({0xD0})) + Sb(107, Bytes({0x94})));
    EXPECT_EQ(Sock(p, b).TakeSent(), "");
    EXPECT_EQ(Sock(p, plain).TakeSent(), "");

    // The lines are watched while some client asks for them.
    Sock(p, a).FireDataArrival(Sb(11, Bytes({0})));
    EXPECT_TRUE(Device(p).watching);
    Sock(p, b).FirePeerClose();
    EXPECT_FALSE(Device(p).watching);
}

TEST_F(ComPortTest, SuspendedClientGetsItsDataAtResume) {
    const int a = LineClient();
    const int b = LineClient();
    Sock(p, a).FireDataArrival(Sb(8));
    Device(p).Receive("one" + Bytes({255}));
    Device(p).Fire(kCommEventFrame);
    EXPECT_EQ(Sock(p, a).TakeSent(), "");
    EXPECT_EQ(Sock(p, b).TakeSent(), "one" + Bytes({255, 255}));
    Sock(p, a).FireDataArrival(Sb(10, Bytes({0x08})) + Sb(9));
    EXPECT_EQ(Sock(p, a).TakeSent(), "one" + Bytes({255, 255}) + Sb(110, Bytes({0x08})));

    // A client that suspends and never resumes is let go at the hard limit; the other stays.
    ctx.settings.Output.Hard = 1000;
    Sock(p, a).FireDataArrival(Sb(8));
    Device(p).Receive(std::string(500, 'x'));
    EXPECT_TRUE(Slot(p, a).InUse);
    Device(p).Receive(std::string(500, 'y'));
    EXPECT_FALSE(Slot(p, a).InUse);
    EXPECT_TRUE(Slot(p, b).InUse);
    EXPECT_TRUE(Slot(p, a).ComPort.Held.empty());
}

}  // namespace
}  // namespace tolvan
