#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>

#include "configurator/AboutWindow.h"
#include "configurator/SettingsWindow.h"
#include "configurator/TraceWindow.h"
#include "configurator/WindowFrame.h"
#include "console_protocol/Messages.h"
#include "tests/configurator/ConfiguratorFixture.h"

namespace tolvan::test {
namespace {

std::string TraceSwitch(int port, bool on) {
    return console::FrameMessage("DA", console::TraceSwitchPayload(port, on));
}

class WindowFrameTest : public ConfiguratorFixture {
protected:
    void SetUp() override {
        ConfiguratorFixture::SetUp();
        SelectFirstPort();
        window_->show();
    }

    WindowFrame& Frame() { return window_->Frame(); }

    TraceWindow* OpenTrace() {
        window_->MenuAction(QStringLiteral("mnuTracEwINDOW"))->trigger();
        return Frame().OpenedTraceWindow();
    }

    static void Tick(TraceWindow& trace, int row, bool on) {
        trace.findChild<QListWidget*>(QStringLiteral("lstPorts"))
            ->item(row)
            ->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }

    static bool Ticked(TraceWindow& trace, int row) {
        return trace.findChild<QListWidget*>(QStringLiteral("lstPorts"))->item(row)->checkState() ==
               Qt::Checked;
    }

    QAction* TrayAction(const char* name) {
        return Frame().Tray().Menu().findChild<QAction*>(QString::fromLatin1(name));
    }

    QString TrayIconName() {
        return Frame().Tray().SystemTrayIcon().property("iconName").toString();
    }

    // The window as if a notification area existed (the offscreen platform has none).
    void PretendTray() {
        Frame().SetTrayAvailability([] { return true; });
    }
};

// The menu and the button open one trace window of its own with the main window's ports;
// ticks and unticks switch tracing, closing switches every ticked port off.
TEST_F(WindowFrameTest, TraceWindowSwitchesTracing) {
    TraceWindow* trace = OpenTrace();
    ASSERT_NE(trace, nullptr);
    EXPECT_EQ(trace->parentWidget(), nullptr);
    EXPECT_FALSE(trace->isModal());
    EXPECT_TRUE(trace->isVisible());
    auto* ports = trace->findChild<QListWidget*>(QStringLiteral("lstPorts"));
    ASSERT_EQ(ports->count(), 2);
    EXPECT_EQ(ports->item(1)->text(), QStringLiteral("COM3"));
    OpenTrace();
    EXPECT_EQ(Frame().OpenedTraceWindow(), trace);

    Tick(*trace, 0, true);
    Tick(*trace, 1, true);
    Tick(*trace, 0, false);
    EXPECT_EQ(SentSoFar(), (std::vector<std::string>{TraceSwitch(0, true), TraceSwitch(1, true),
                                                     TraceSwitch(0, false)}));
    Tick(*trace, 0, true);
    SentSoFar();
    trace->close();
    EXPECT_EQ(SentSoFar(),
              (std::vector<std::string>{TraceSwitch(0, false), TraceSwitch(1, false)}));

    // A new opening starts unticked, in a new window.
    TraceWindow* again = OpenTrace();
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, trace);
    EXPECT_FALSE(Ticked(*again, 0));

    // A lost connection unticks every port, and each "off" still reaches the server.
    Tick(*again, 0, true);
    Tick(*again, 1, true);
    SentSoFar();
    window_->ServerConnectionLost();
    EXPECT_FALSE(Ticked(*again, 0));
    EXPECT_FALSE(Ticked(*again, 1));
    ASSERT_TRUE(peer_.WaitForFrames(2));
    EXPECT_EQ(peer_.Frames(),
              (std::vector<std::string>{TraceSwitch(0, false), TraceSwitch(1, false)}));
    EXPECT_EQ(window_->IconName(), QStringLiteral("ICONX"));
}

// Events reach the open window for ticked ports; any other is answered with "off".
TEST_F(WindowFrameTest, TraceEventsShownOrSwitchedOff) {
    peer_.Send("DA", "1|3|1|early");
    EXPECT_EQ(SentSoFar(), (std::vector<std::string>{TraceSwitch(1, false)}));

    TraceWindow* trace = OpenTrace();
    ASSERT_NE(trace, nullptr);
    Tick(*trace, 0, true);
    SentSoFar();
    peer_.Send("DA", "0|1|1|AT\r\n");
    peer_.Send("DA", "1|3|0|other");
    EXPECT_EQ(SentSoFar(), (std::vector<std::string>{TraceSwitch(1, false)}));
    EXPECT_EQ(trace->TraceText(), QStringLiteral("Serial In -> AT<0D><0A>\r\n"));
    EXPECT_TRUE(trace->findChild<QPlainTextEdit*>(QStringLiteral("txtTrace"))
                    ->toPlainText()
                    .contains(QStringLiteral("Serial In -> AT<0D><0A>")));

    trace->close();
    SentSoFar();
    peer_.Send("DA", "0|1|1|late");
    EXPECT_EQ(SentSoFar(), (std::vector<std::string>{TraceSwitch(0, false)}));

    // Exit from the menu closes a trace window too.
    QPointer<TraceWindow> open = OpenTrace();
    window_->MenuAction(QStringLiteral("mnuExit"))->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&open] { return open.isNull(); }, 1000));
}

// The window icon follows the connection total; in the tray the icon and tip follow it too.
TEST_F(WindowFrameTest, IconsFollowConnectionCount) {
    for (const auto& [total, icon] : std::vector<std::pair<std::string, const char*>>{
             {"0", "ICONIDLE"}, {"9", "ICON9"}, {"10", "ICONPLUS"}, {"-1", "ICONPLUS"}}) {
        peer_.Send("D2", "-2|" + total);
        SentSoFar();
        EXPECT_EQ(window_->property("iconName").toString(), QString::fromLatin1(icon)) << total;
    }
    PretendTray();
    Frame().SendToTray();
    EXPECT_EQ(TrayIconName(), QStringLiteral("ICONPLUS"));
    peer_.Send("D2", "-2|2");
    peer_.Send("D5", "1|2|1|1|12/01/2005|10.0.0.5|7|2|1|12/01/2005|10.0.0.6|7");
    SentSoFar();
    EXPECT_EQ(TrayIconName(), QStringLiteral("ICON2"));
    EXPECT_EQ(Frame().Tray().SystemTrayIcon().toolTip(),
              QStringLiteral("Tolvan Server: 2 connections\nCOM3: 2 connections"));
    window_->ServerConnectionLost();
    EXPECT_EQ(TrayIconName(), QStringLiteral("ICONX"));
    EXPECT_FALSE(Frame().Tray().SystemTrayIcon().icon().isNull());
    EXPECT_EQ(Frame().Tray().SystemTrayIcon().toolTip(),
              QStringLiteral("Tolvan Server: not connected"));
}

// Minimise To Tray, the close box and a log-in start in style 2 put the window in the tray;
// Open, a double click and a second instance's restore bring it back.
TEST_F(WindowFrameTest, TrayComesAndGoes) {
    PretendTray();
    window_->MenuAction(QStringLiteral("mnuSendToTray"))->trigger();
    EXPECT_FALSE(window_->isVisible());
    EXPECT_TRUE(Frame().InTray());
    TrayAction("mnuTrayOpen")->trigger();
    EXPECT_TRUE(window_->isVisible());
    EXPECT_FALSE(Frame().InTray());

    EXPECT_FALSE(window_->close());
    EXPECT_FALSE(window_->isVisible());
    EXPECT_TRUE(Frame().InTray());
    Q_EMIT Frame().Tray().SystemTrayIcon().activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_FALSE(Frame().InTray());

    window_->SendToTray();
    window_->TrayOpen();  // what a second instance asks for
    EXPECT_TRUE(window_->isVisible());
    EXPECT_FALSE(Frame().InTray());

    settings_->SaveServerSetting("Settings", "ConfigStartupStyle", "2");
    MainWindow loginStart(*settings_);
    loginStart.Frame().SetTrayAvailability([] { return true; });
    loginStart.Start({QStringLiteral("-login")});
    EXPECT_FALSE(loginStart.isVisible());
    EXPECT_TRUE(loginStart.Frame().InTray());
}

// With the desktop's own answer: without a notification area the window is minimised, never
// hidden beyond reach.
TEST_F(WindowFrameTest, SendToTrayWithoutTrayMinimises) {
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    window_->SendToTray();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        EXPECT_FALSE(window_->isVisible());
        EXPECT_TRUE(Frame().InTray());
    } else {
        EXPECT_TRUE(window_->isVisible());
        EXPECT_TRUE(window_->isMinimized());
        EXPECT_FALSE(Frame().InTray());
    }
    window_->TrayOpen();
    EXPECT_TRUE(window_->isVisible());
    EXPECT_FALSE(window_->isMinimized());
}

// About (menu or tray) asks for the server's version and shows it when the report comes.
TEST_F(WindowFrameTest, AboutShowsServerVersion) {
    window_->MenuAction(QStringLiteral("mnuAbout"))->trigger();
    AboutWindow* about = Frame().OpenedAboutWindow();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->parentWidget(), window_.get());
    EXPECT_FALSE(about->isModal());
    ASSERT_TRUE(peer_.WaitForFrames(1));
    EXPECT_EQ(peer_.Frames()[0], "DB|0|");
    peer_.ClearReceived();
    auto* server = about->findChild<QLabel*>(QStringLiteral("lblServerVersion"));
    auto* release = about->findChild<QLabel*>(QStringLiteral("lblReleaseDate"));
    peer_.Send("DB", "1.0.7|Release Date Mar 18, 2005");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return server->text() == QStringLiteral("Tolvan Server Version 1.0.7"); }, 3000));
    EXPECT_EQ(release->text(), QStringLiteral("Release Date Mar 18, 2005"));

    TrayAction("mnuTrayAbout")->trigger();
    EXPECT_EQ(Frame().OpenedAboutWindow(), about);
    about->close();
    TrayAction("mnuTrayAbout")->trigger();
    ASSERT_NE(Frame().OpenedAboutWindow(), nullptr);
    EXPECT_NE(Frame().OpenedAboutWindow(), about);
}

// Exit from the tray: icon gone, connection dropped, windows closed, and the program ends
// about half a second later through Timer1.
TEST_F(WindowFrameTest, TrayExitEndsProgramThroughTimer) {
    bool ended = false;
    window_->SetQuitHandler([&ended] { ended = true; });
    PretendTray();
    TraceWindow* trace = OpenTrace();
    Tick(*trace, 1, true);
    QPointer<TraceWindow> traceAlive = trace;
    window_->OpenSettingsWindow();
    QPointer<SettingsWindow> settings = window_->OpenedSettingsWindow();
    SentSoFar();
    window_->SendToTray();

    TrayAction("mnuTrayExit")->trigger();
    EXPECT_FALSE(Frame().InTray());
    EXPECT_FALSE(window_->Client().IsConnected());
    EXPECT_EQ(window_->IconName(), QStringLiteral("ICONX"));
    EXPECT_TRUE(window_->Client().ExitRequested());
    EXPECT_EQ(window_->Client().Timer1().interval(), ConsoleClient::kExitInterval);
    EXPECT_FALSE(ended);
    ASSERT_TRUE(peer_.WaitForFrames(1));
    EXPECT_EQ(peer_.Frames()[0], TraceSwitch(1, false));
    EXPECT_TRUE(QTest::qWaitFor([&ended] { return ended; }, 1500));
    EXPECT_TRUE(traceAlive.isNull());
    EXPECT_TRUE(settings.isNull());
}

}  // namespace
}  // namespace tolvan::test
