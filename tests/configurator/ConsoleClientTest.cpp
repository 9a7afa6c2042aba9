#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "configurator/ConsoleClient.h"
#include "tests/configurator/ConfiguratorFixture.h"

namespace tolvan::test {
namespace {

using ConsoleClientWire = ConfiguratorFixture;

// Connecting asks for the version, then for the port list, framed exactly. A port list
// selects the first port, which asks for settings, statistics, connections and state.
TEST_F(ConsoleClientWire, PortListSelectsFirstPortAndRequestsItsData) {
    EXPECT_EQ(startupRaw_, "DB|0|\r\nD3|0|\r\n");
    EXPECT_EQ(window_->IconName(), QStringLiteral("ICONIDLE"));
    peer_.Send("D3", "2|1|3");
    ASSERT_TRUE(peer_.WaitForFrames(4));
    EXPECT_EQ(peer_.Frames(), (std::vector<std::string>{"D2|1|0", "D7|1|0", "D5|1|0", "DC|1|0"}));
    auto* lstPort = Find<QComboBox>("lstPort");
    ASSERT_EQ(lstPort->count(), 2);
    EXPECT_EQ(lstPort->itemText(1), QStringLiteral("COM3"));
    EXPECT_EQ(lstPort->currentIndex(), 0);
}

// Two reports in one arrival are handled in order; a lower-case code is recognised; a frame
// with a broken length is skipped without stalling what follows.
TEST_F(ConsoleClientWire, ReassemblesAndDispatchesEveryReport) {
    peer_.SendRaw("D3|x|garbage\r\nd3|5|2|1|3\r\nD2|4|-2|3\r\n");
    ASSERT_TRUE(peer_.WaitForFrames(3));
    EXPECT_EQ(Find<QComboBox>("lstPort")->count(), 2);
    ASSERT_TRUE(QTest::qWaitFor([this] { return window_->IconName() == QStringLiteral("ICON3"); }));
}

// A frame split over two arrivals is dispatched once, after the second.
TEST_F(ConsoleClientWire, SplitFrameWaitsForItsPayload) {
    peer_.SendRaw("D3|5|2|");
    QTest::qWait(200);
    EXPECT_TRUE(peer_.Frames().empty());
    EXPECT_EQ(Find<QComboBox>("lstPort")->count(), 0);
    peer_.SendRaw("1|3\r\n");
    ASSERT_TRUE(peer_.WaitForFrames(3));
    EXPECT_EQ(Find<QComboBox>("lstPort")->count(), 2);
}

// Losing the server shows the red X and no ports; requests meanwhile are dropped; the timer
// connects again once the server listens, and starts over with version and port list.
TEST_F(ConsoleClientWire, ReconnectsWithinFiveSecondsAfterServerRestart) {
    SelectFirstPort();
    const quint16 port = peer_.Port();
    peer_.Stop();
    ASSERT_TRUE(QTest::qWaitFor([this] { return window_->IconName() == QStringLiteral("ICONX"); }));
    EXPECT_EQ(Find<QComboBox>("lstPort")->count(), 0);
    EXPECT_TRUE(Find<QWidget>("framePortSettings")->isHidden());
    window_->Client().SendStatisticsRequest(0);

    ASSERT_TRUE(peer_.Listen(port));
    ASSERT_TRUE(peer_.WaitForClient(8000));
    ASSERT_TRUE(peer_.WaitForFrames(2));
    EXPECT_EQ(peer_.Raw(), "DB|0|\r\nD3|0|\r\n");
}

// Trace events keep a "|" in their text; short reports hand on empty fields.
TEST_F(ConsoleClientWire, TraceAndVersionReportsReachTheirHooks) {
    ConsoleClient& client = window_->Client();
    QSignalSpy traces(&client, &ConsoleClient::TraceEventReport);
    QSignalSpy versions(&client, &ConsoleClient::VersionReport);
    peer_.Send("DA", "1|3|2|a|b\r\nc");
    peer_.Send("DA", "x");
    peer_.Send("DB", "1.0.7|Release Date Mar 18, 2005");
    ASSERT_TRUE(QTest::qWaitFor([&] { return versions.count() == 1; }));
    ASSERT_EQ(traces.count(), 2);
    EXPECT_EQ(traces[0][0].toInt(), 1);
    EXPECT_EQ(traces[0][1].value<std::string>(), "3");
    EXPECT_EQ(traces[0][2].toInt(), 2);
    EXPECT_EQ(traces[0][3].value<std::string>(), "a|b\r\nc");
    EXPECT_EQ(traces[1][0].toInt(), 0);
    EXPECT_EQ(traces[1][3].value<std::string>(), "");
    EXPECT_EQ(versions[0][0].value<std::string>(), "1.0.7");
    EXPECT_EQ(versions[0][1].value<std::string>(), "Release Date Mar 18, 2005");
}

// The base port is read at every attempt; what is not a port number falls back to 5000.
TEST(ConsoleClientPort, NonNumericBasePortUsesDefault) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath(QStringLiteral("r.reg")).toStdString();
    ServerSettings settings(path);
    ConsoleClient client(settings);
    EXPECT_EQ(client.BasePort(), 5000);
    for (const auto& [stored, expected] : std::vector<std::pair<std::string, int>>{
             {"05001", 5001}, {"abc", 5000}, {"70000", 5000}, {"", 5000}, {"6000", 6000}}) {
        settings.SaveServerSetting("Settings", "BaseTCPPort", stored);
        EXPECT_EQ(client.BasePort(), expected) << stored;
    }
}

// The tray's Exit: the program ends on the next tick, about half a second later.
TEST(ConsoleClientExit, RequestedExitEndsOnNextTick) {
    QTemporaryDir dir;
    ServerSettings settings(dir.filePath(QStringLiteral("r.reg")).toStdString());
    ConsoleClient client(settings);
    bool ended = false;
    client.SetExitHandler([&ended] { ended = true; });
    client.RequestExit();
    EXPECT_EQ(client.Timer1().interval(), ConsoleClient::kExitInterval);
    EXPECT_TRUE(QTest::qWaitFor([&ended] { return ended; }, 3000));
}

}  // namespace
}  // namespace tolvan::test
