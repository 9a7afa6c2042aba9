#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console_protocol/Frame.h"
#include "console_protocol/Messages.h"
#include "tests/support/FakeConsole.h"

namespace tolvan {
namespace {

class SettingsUpdateTest : public ::testing::Test, public FakeConsole {
protected:
    // The 22 fields the configurator sends for port p, as it would from the stored values.
    std::vector<std::string> UpdateFor(int p) {
        const PortRecord& port = Port(p);
        std::vector<std::string> fields = console::SplitFields(
            "|TRUE|TRUE||0|TRUE|TRUE|2048|1024|9600|n,8,1|0|4|600||Mirelo||FALSE|192.0.2.7|6001||",
            22);
        fields[0] = std::to_string(p);
        fields[3] = std::to_string(port.MaxConnections);
        fields[4] = std::to_string(port.PortNumber);
        fields[14] = std::to_string(port.MaxIdleTime);
        fields[20] = port.ServiceType == 0 ? "Server" : "Client";
        return fields;
    }

    void SendUpdate(const std::vector<std::string>& fields) {
        Request("D1", console::JoinFields(fields));
    }

    // The answer must be the port's settings report, then its connection list.
    void ExpectAnswered(int p) {
        const auto answers = Answers();
        ASSERT_EQ(answers.size(), 2u);
        EXPECT_EQ(answers[0].code, "D1");
        EXPECT_TRUE(answers[0].payload.starts_with(std::to_string(p) + "|"));
        EXPECT_EQ(answers[1].code, "D5");
        EXPECT_TRUE(answers[1].payload.starts_with(std::to_string(p) + "|"));
    }

    // Everything of a port that an update may touch.
    static std::string Snapshot(const PortRecord& port) {
        return std::to_string(port.Enabled) + std::to_string(port.MaxConnections) +
               std::to_string(port.PortNumber) + std::to_string(port.InBufferSize) + "," +
               port.Settings + "," + std::to_string(port.MaxIdleTime) + "," + port.ConnectPassword +
               "," + port.RemoteIP + "," + std::to_string(port.RemotePort) + "," +
               std::to_string(port.ServiceType) + "," + port.PortDescription + "," +
               std::to_string(port.Connections.size());
    }
};

TEST_F(SettingsUpdateTest, UpdateIsStoredAppliedSavedAndAnswered) {
    const int p = StartPort(1);
    StartPort(2);
    ConnectConsole();
    auto fields = UpdateFor(p);
    fields[1] = "true";
    fields[3] = "5";
    fields[7] = "4096";
    fields[9] = "19200";
    fields[10] = "e,7,1";
    fields[14] = "30";
    fields[15] = "Sesame";
    fields[21] = "Line | 4";
    SendUpdate(fields);

    EXPECT_EQ(Port(p).MaxConnections, 5);
    EXPECT_EQ(Port(p).Connections.size(), 6u);
    EXPECT_EQ(Port(p).InBufferSize, 4096);
    EXPECT_EQ(Port(p).Settings, "19200,e,7,1");
    EXPECT_EQ(Port(p).MaxIdleTime, 30);
    EXPECT_EQ(Port(p).PortDescription, "Line | 4");
    const auto& device = *serials.made.at(static_cast<std::size_t>(p));
    EXPECT_TRUE(device.open);
    EXPECT_EQ(device.settings, "19200,e,7,1");
    EXPECT_EQ(Listener(p).state, kSocketListening);
    EXPECT_EQ(Stored(1, "MaxIdletime"), "30");
    EXPECT_EQ(Stored(1, "Settings"), "19200,e,7,1");
    EXPECT_EQ(Stored(1, "ConnectPassword"), "Sesame");
    EXPECT_EQ(Stored(1, "PortDescription"), "Line | 4");
    EXPECT_EQ(Stored(2, "Settings"), kNotFound);
    ExpectAnswered(p);
    EXPECT_TRUE(sink.entries.empty());
}

TEST_F(SettingsUpdateTest, ShortUpdateChangesNothingAndIsAnswered) {
    const int p = StartPort(1);
    ConnectConsole();
    auto fields = UpdateFor(p);
    fields[3] = "1";
    fields.erase(fields.begin() + 14);  // no idle time selected
    const std::string before = Snapshot(Port(p));
    SendUpdate(fields);
    EXPECT_EQ(Snapshot(Port(p)), before);
    EXPECT_EQ(Stored(1, "Settings"), kNotFound);
    ExpectAnswered(p);
}

TEST_F(SettingsUpdateTest, BadFieldChangesNothingButIsAnswered) {
    const int p = StartPort(1);
    ConnectConsole();
    const std::string before = Snapshot(Port(p));
    const struct {
        std::size_t field;
        const char* text;
    } bad[] = {
        {19, ""},      // RemotePort empty
        {13, "-1"},    // a negative lock-out
        {3, "16"},     // more connections than a port can number
        {3, "-1"},     // MaxConnections is unsigned
        {4, "2"},      // another port's COM number
        {1, "yes"},    // not a Boolean
        {7, "4096x"},  // not a number
        {12, "256"},   // MaxPasswordAttemps beyond 8 bits
        {14, "3000000000"},
    };
    for (const auto& [field, text] : bad) {
        auto fields = UpdateFor(p);
        fields[3] = "1";
        fields[9] = "38400";
        fields[field] = text;
        SendUpdate(fields);
        EXPECT_EQ(Snapshot(Port(p)), before) << "field " << field;
        ExpectAnswered(p);
    }
    EXPECT_EQ(sink.Count("M1S4 "), static_cast<int>(std::size(bad)));
    EXPECT_TRUE(sink.Contains("RemotePort"));
    EXPECT_EQ(Stored(1, "Settings"), kNotFound);
}

TEST_F(SettingsUpdateTest, UpdateForMissingPortIsLoggedOnly) {
    const int p = StartPort(1);
    ConnectConsole();
    auto fields = UpdateFor(p);
    fields[0] = "3";
    SendUpdate(fields);
    fields[0] = "zero";
    SendUpdate(fields);
    Request("D1");
    EXPECT_TRUE(Answers().empty());
    EXPECT_EQ(sink.Count("M1S4 "), 3);
}

TEST_F(SettingsUpdateTest, ServerToClientClosesEverythingAndForcesOneConnection) {
    const int p = StartPort(1);
    ConnectConsole();
    ASSERT_EQ(Connect(p, "127.0.0.1"), 1);
    ASSERT_EQ(Connect(p, "127.0.0.1"), 2);
    FakeSocket& first = Sock(p, 1);
    FakeSocket& second = Sock(p, 2);
    Answers();
    auto fields = UpdateFor(p);
    fields[3] = "3";
    fields[14] = "60";
    fields[17] = "TRUE";
    fields[20] = "client";
    SendUpdate(fields);

    EXPECT_EQ(Port(p).ServiceType, 1);
    EXPECT_EQ(Port(p).MaxConnections, 1);
    EXPECT_EQ(Port(p).MaxIdleTime, 0);
    EXPECT_EQ(Port(p).Connections.size(), 2u);
    EXPECT_FALSE(Slot(p, 1).InUse);
    EXPECT_EQ(first.state, kSocketClosed);
    EXPECT_EQ(second.state, kSocketClosed);
    EXPECT_FALSE(ctx.sckMain.Exists(SocketIndex(p, 0)));
    EXPECT_TRUE(ctx.sckMain.Exists(SocketIndex(p, 1)));
    EXPECT_EQ(Stored(1, "ServiceType"), "1");
    EXPECT_EQ(Stored(1, "MaxConnections"), "1");
    EXPECT_EQ(Stored(1, "MaxIdletime"), "0");
    const auto answers = Answers();
    ASSERT_GE(answers.size(), 2u);
    const auto& report = answers[answers.size() - 2];
    EXPECT_EQ(console::SplitFields(report.payload, 22).at(20), "Client");
    EXPECT_EQ(answers.back().payload, "0|0");
}

TEST_F(SettingsUpdateTest, ClientToServerClosesClientAndListens) {
    const int p = StartPort(4, 1);
    ConnectConsole();
    Slot(p, 1).InUse = true;
    Sock(p, 1).state = kSocketConnected;
    auto fields = UpdateFor(p);
    fields[3] = "2";
    fields[20] = "Server";
    SendUpdate(fields);

    EXPECT_EQ(Port(p).ServiceType, 0);
    EXPECT_FALSE(Slot(p, 1).InUse);
    // The client's element is gone; its close was told as a connection count notice.
    EXPECT_FALSE(ctx.sckMain.Exists(SocketIndex(p, 1)));
    const auto answers = Answers();
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_EQ(answers[0].code, "D2");
    EXPECT_EQ(answers[0].payload, "0|0");
    EXPECT_EQ(Port(p).Connections.size(), 3u);
    EXPECT_EQ(Listener(p).state, kSocketListening);
    EXPECT_EQ(Listener(p).localPort, 5004);
    EXPECT_EQ(Stored(4, "ServiceType"), "0");
}

TEST_F(SettingsUpdateTest, ClientModeKeepsOneSlotWhateverTheUpdateSays) {
    // A client-mode port works on slot 1; an update must not take that slot away.
    const int p = StartPort(2, 1);
    ConnectConsole();
    auto fields = UpdateFor(p);
    fields[3] = "0";
    SendUpdate(fields);
    EXPECT_EQ(Port(p).MaxConnections, 1);
    EXPECT_EQ(Port(p).Connections.size(), 2u);
}

TEST_F(SettingsUpdateTest, LoweringMaxConnectionsClosesTheSurplus) {
    const int p = StartPort(1);
    Port(p).MaxIdleTime = 10;
    ConnectConsole();
    ASSERT_EQ(Connect(p, "127.0.0.1"), 1);
    ASSERT_EQ(Connect(p, "127.0.0.1"), 2);
    ASSERT_EQ(Connect(p, "127.0.0.3"), 3);  // two may wait for a password per address
    FakeSocket& second = Sock(p, 2);
    FakeSocket& third = Sock(p, 3);
    clock.AdvanceMinutes(7);
    auto fields = UpdateFor(p);
    fields[3] = "1";
    SendUpdate(fields);

    EXPECT_EQ(Port(p).Connections.size(), 2u);
    EXPECT_TRUE(Slot(p, 1).InUse);
    EXPECT_EQ(Sock(p, 1).state, kSocketConnected);
    EXPECT_EQ(Slot(p, 1).IdleExpires, clock.NowUtc() + Minutes(10));
    EXPECT_EQ(second.state, kSocketClosed);
    EXPECT_EQ(third.state, kSocketClosed);
    EXPECT_EQ(Stored(1, "MaxConnections"), "1");
}

}  // namespace
}  // namespace tolvan
