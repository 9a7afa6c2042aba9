#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include "configurator/PortSettingsFrame.h"
#include "configurator/SettingsWindow.h"
#include "console_protocol/Messages.h"
#include "tests/configurator/ConfiguratorFixture.h"

namespace tolvan::test {
namespace {

// A port settings report for position 0 with every field as the server sends it.
std::vector<std::string> SettingsReport() {
    return {"0",           "True",   "False",        "3",     "1",        "True", "False",
            "2048",        "4096",   "2400",         "e,7,1", "2",        "5",    "30",
            "60",          "secret", "/tmp/log.txt", "True",  "10.0.0.9", "4001", "Server",
            "Bench | left"};
}

class MainWindowTest : public ConfiguratorFixture {
protected:
    void SetUp() override {
        ConfiguratorFixture::SetUp();
        SelectFirstPort();
    }

    void ShowSettings(const std::vector<std::string>& fields) {
        peer_.Send("D1", console::JoinFields(fields));
        SentSoFar();
    }

    // Sends a report that differs from the standard one in a single field.
    void ShowWithField(std::size_t field, const std::string& value) {
        std::vector<std::string> fields = SettingsReport();
        fields[field] = value;
        ShowSettings(fields);
    }
};

// An edit followed by Update sends exactly the 22 fields and disables the editor.
TEST_F(MainWindowTest, UpdateSendsTheWholeSettingsPayload) {
    ShowSettings(SettingsReport());
    auto* frame = Find<QWidget>("framePortSettings");
    ASSERT_TRUE(frame->isEnabled());
    EXPECT_FALSE(frame->isHidden());
    Find<QComboBox>("lstBaud")->setCurrentIndex(5);
    Find<QLineEdit>("txtPassword")->setText(QStringLiteral("new"));
    Find<QPushButton>("cmdUpdate")->click();
    EXPECT_FALSE(frame->isEnabled());
    ASSERT_TRUE(peer_.WaitForFrames(1));
    EXPECT_EQ(peer_.Frames()[0],
              console::FrameMessage("D1",
                                    "0|TRUE|FALSE|3|1|TRUE|FALSE|2048|4096|19200|e,7,1|2|5|30|60|"
                                    "new|/tmp/log.txt|TRUE|10.0.0.9|4001|Server|Bench | left"));
}

// A client-mode port always sends "1" connections and "Client".
TEST_F(MainWindowTest, ClientModeUpdateSendsOneConnection) {
    ShowWithField(20, "client");
    EXPECT_EQ(ListText("lstPortUse"), QStringLiteral("Client"));
    EXPECT_FALSE(Find<QWidget>("frameClientSettings")->isHidden());
    EXPECT_TRUE(Find<QWidget>("frameServerSettings")->isHidden());
    EXPECT_EQ(ListText("lstConnections"), QStringLiteral("3"));
    Find<QPushButton>("cmdUpdate")->click();
    ASSERT_TRUE(peer_.WaitForFrames(1));
    const std::vector<std::string> fields =
        console::SplitFields(peer_.Frames()[0].substr(peer_.Frames()[0].find('|', 3) + 1), 22);
    ASSERT_EQ(fields.size(), 22u);
    EXPECT_EQ(fields[3], "1");
    EXPECT_EQ(fields[20], "Client");
}

// Values outside the lists fall back to fixed items, never to an error.
TEST_F(MainWindowTest, SettingsReportFallbacks) {
    struct Case {
        std::size_t field;
        std::string value;
        const char* list;
        const char* shown;
    };
    const std::vector<Case> cases{
        {8, "8192", "lstOBuffer", "512"},
        {7, "8192", "lstIBuffer", "1024"},
        {9, "57600", "lstBaud", "9600"},
        {3, "12", "lstConnections", "1"},
        {3, "-1", "lstConnections", "1"},
        {3, "0", "lstConnections", "0"},
        {13, "15", "lstLockOut", "20 Minutes"},
        {13, "25", "lstLockOut", "20 Minutes"},
        {13, "35", "lstLockOut", "40 Minutes"},
        {13, "120", "lstLockOut", "120 Minutes"},
        {13, "600", "lstLockOut", "No Lockout"},
        {14, "45", "lstMaxIdleTime", "No Timeout"},
        {14, "1920", "lstMaxIdleTime", "32 Hours"},
        {11, "4", "lstHandshake", "None"},
        {12, "11", "lstAttempts", "No Limit"},
        {10, "E,7,1", "lstSettings", "e,7,1"},
        {1, "true", "lstEnabled", "True"},
        {1, "yes", "lstEnabled", "False"},
        {20, "client", "lstPortUse", "Client"},
        {20, "sErVeR", "lstPortUse", "Server"},
    };
    for (const Case& c : cases) {
        ShowWithField(c.field, c.value);
        EXPECT_EQ(ListText(c.list), QString::fromLatin1(c.shown)) << c.field << " " << c.value;
    }
}

// A report for another port is ignored; a short one fills what it has and shows the rest
// empty or at the fallback items.
TEST_F(MainWindowTest, ForeignAndShortReports) {
    ShowSettings(SettingsReport());
    Find<QLineEdit>("txtPassword")->setText(QStringLiteral("kept"));
    ShowWithField(0, "1");
    EXPECT_EQ(Find<QLineEdit>("txtPassword")->text(), QStringLiteral("kept"));

    ShowSettings({"0", "True", "False"});
    EXPECT_EQ(ListText("lstEnabled"), QStringLiteral("True"));
    EXPECT_EQ(ListText("lstConnections"), QStringLiteral("0"));
    EXPECT_EQ(ListText("lstIBuffer"), QStringLiteral("1024"));
    EXPECT_EQ(ListText("lstPortUse"), QStringLiteral("Client"));
    EXPECT_TRUE(Find<QLineEdit>("txtPortDescription")->text().isEmpty());
    EXPECT_TRUE(Find<QWidget>("framePortSettings")->isEnabled());

    peer_.Send("D7", "0|12/01/2005");
    peer_.Send("D5", "0|4|1");
    peer_.Send("D2", "");
    SentSoFar();
    EXPECT_EQ(Find<QLineEdit>("txtCleared")->text(), QStringLiteral("12/01/2005"));
    EXPECT_TRUE(Find<QLineEdit>("txtTXOver")->text().isEmpty());
}

// "True" reads normally; anything else makes lstEnabled and its label bold red.
TEST_F(MainWindowTest, DisabledPortStandsOut) {
    ShowWithField(1, "False");
    for (const char* name : {"lstEnabled", "lblEnabled"}) {
        auto* widget = Find<QWidget>(name);
        EXPECT_TRUE(widget->font().bold()) << name;
        EXPECT_EQ(widget->palette().color(QPalette::WindowText), QColor(255, 0, 0)) << name;
    }
    Find<QComboBox>("lstEnabled")->setCurrentIndex(1);
    for (const char* name : {"lstEnabled", "lblEnabled"}) {
        auto* widget = Find<QWidget>(name);
        EXPECT_FALSE(widget->font().bold()) << name;
        EXPECT_EQ(widget->palette().color(QPalette::WindowText), QColor(0, 0, 0)) << name;
    }
}

// The remote port takes digits only, typed or pasted.
TEST_F(MainWindowTest, RemotePortTakesDigitsOnly) {
    ShowSettings(SettingsReport());
    auto* edit = Find<QLineEdit>("txtRemotePort");
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("12a3-"));
    EXPECT_EQ(edit->text(), QStringLiteral("123"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), QStringLiteral("12"));
    QApplication::clipboard()->setText(QStringLiteral("9x9"));
    edit->paste();
    EXPECT_EQ(edit->text(), QStringLiteral("12"));
}

// Text boxes select their whole text when they get the focus.
TEST_F(MainWindowTest, TextBoxesSelectAllOnFocus) {
    ShowSettings(SettingsReport());
    auto* edit = Find<QLineEdit>("txtLogFile");
    edit->deselect();
    QFocusEvent focus(QEvent::FocusIn, Qt::MouseFocusReason);
    QApplication::sendEvent(edit, &focus);
    ASSERT_TRUE(QTest::qWaitFor([edit] { return edit->hasSelectedText(); }, 1000));
    EXPECT_EQ(edit->selectedText(), QStringLiteral("/tmp/log.txt"));
}

// Refresh and Clear disable the counters until the statistics report comes back.
TEST_F(MainWindowTest, CountersRefreshAndClear) {
    peer_.Send("D7", "0|12/01/2005 10:15:00 AM|1|2|3|4|5|6|7|8|9|10");
    SentSoFar();
    auto* counters = Find<QWidget>("framePortCounters");
    EXPECT_TRUE(counters->isEnabled());
    EXPECT_EQ(Find<QLineEdit>("txtFraming")->text(), QStringLiteral("1"));
    EXPECT_EQ(Find<QLineEdit>("txtTXOver")->text(), QStringLiteral("10"));
    Find<QPushButton>("cmdRefresh")->click();
    EXPECT_FALSE(counters->isEnabled());
    EXPECT_EQ(SentSoFar(), (std::vector<std::string>{"D7|1|0"}));
    peer_.Send("D7", "0|x|0|0|0|0|0|0|0|0|0|0");
    SentSoFar();
    Find<QPushButton>("cmdClear")->click();
    EXPECT_EQ(SentSoFar(), (std::vector<std::string>{"D8|1|0"}));
    peer_.Send("D7", "1|x|0|0|0|0|0|0|0|0|0|0");  // another port: stays disabled
    SentSoFar();
    EXPECT_FALSE(counters->isEnabled());
    peer_.Send("D7", "0|x|0|0|0|0|0|0|0|0|0|0");
    SentSoFar();
    EXPECT_TRUE(counters->isEnabled());
}

// Count notices pick the icon; only one for the selected port refreshes its connections.
TEST_F(MainWindowTest, ConnectionCountNotices) {
    peer_.Send("D2", "0|1");
    EXPECT_EQ(SentSoFar(), (std::vector<std::string>{"D5|1|0"}));
    EXPECT_EQ(window_->IconName(), QStringLiteral("ICON1"));
    peer_.Send("D2", "-2|1");
    peer_.Send("D2", "1|0");
    EXPECT_TRUE(SentSoFar().empty());
    EXPECT_EQ(window_->IconName(), QStringLiteral("ICONIDLE"));
    for (const auto& [total, icon] : std::vector<std::pair<std::string, const char*>>{
             {"9", "ICON9"}, {"10", "ICONPLUS"}, {"-1", "ICONPLUS"}}) {
        peer_.Send("D2", "-2|" + total);
        SentSoFar();
        EXPECT_EQ(window_->IconName(), QString::fromLatin1(icon)) << total;
    }
}

// A port list with no ports leaves the list empty and asks nothing; choosing a port again
// hides its frames and asks for its data in order.
TEST_F(MainWindowTest, PortListAndSelection) {
    peer_.Send("D3", "0");
    EXPECT_TRUE(SentSoFar().empty());
    EXPECT_EQ(Find<QComboBox>("lstPort")->count(), 0);

    peer_.Send("D3", "2|1|3");
    SentSoFar();
    ShowSettings(SettingsReport());
    auto* lstPort = Find<QComboBox>("lstPort");
    lstPort->setCurrentIndex(1);
    Q_EMIT lstPort->activated(1);
    EXPECT_TRUE(Find<QWidget>("framePortSettings")->isHidden());
    EXPECT_EQ(SentSoFar(), (std::vector<std::string>{"D2|1|1", "D7|1|1", "D5|1|1"}));
    // The hint label above the connections asks for the list again.
    QTest::mouseClick(Find<QLabel>("Label_30"), Qt::LeftButton);
    EXPECT_EQ(SentSoFar(), (std::vector<std::string>{"D5|1|1"}));
}

// The selected port's settings bring a port state request, whose answer shows beside the port
// list; a connection the server refuses shows why once it has been dropped.
TEST_F(MainWindowTest, PortStateAndRefusalShowBesideThePortList) {
    peer_.Send("D1", console::JoinFields(SettingsReport()));
    EXPECT_EQ(SentSoFar(), (std::vector<std::string>{"DC|1|0"}));
    peer_.Send("DC", "0|locked-out|2026-03-01 10:00:00|/dev/ttyS0");
    peer_.Send("DC", "1|failed||could not open the serial device: busy");
    SentSoFar();
    auto* lblPortState = Find<QLabel>("lblPortState");
    EXPECT_EQ(lblPortState->text(), QStringLiteral("locked out until 2026-03-01 10:00:00"));

    peer_.Send("DE", "not-permitted|only root and members of group tolvan may use the console");
    peer_.Stop();
    ASSERT_TRUE(QTest::qWaitFor([this] { return window_->IconName() == QStringLiteral("ICONX"); }));
    EXPECT_EQ(lblPortState->text(),
              QStringLiteral("not permitted: not in the console group (only root and members of "
                             "group tolvan may use the console)"));
}

// The menus carry their names, captions and shortcuts; Settings opens the settings window
// owned by the main window.
TEST_F(MainWindowTest, MenusAndSettingsWindow) {
    QAction* trace = window_->MenuAction(QStringLiteral("mnuTracEwINDOW"));
    ASSERT_NE(trace, nullptr);
    EXPECT_EQ(trace->text(), QStringLiteral("&Trace Window"));
    EXPECT_EQ(trace->shortcut(), QKeySequence(QStringLiteral("Ctrl+T")));
    EXPECT_EQ(window_->MenuAction(QStringLiteral("mnuSendToTray"))->shortcut(),
              QKeySequence(QStringLiteral("Ctrl+M")));
    for (const char* name :
         {"mnuEventViewer", "mnuServices", "mnuHelpHelp", "mnuAbout", "mnuExit"}) {
        EXPECT_NE(window_->MenuAction(QString::fromLatin1(name)), nullptr) << name;
    }
    window_->MenuAction(QStringLiteral("mnuSettings"))->trigger();
    SettingsWindow* settings = window_->OpenedSettingsWindow();
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->parentWidget(), window_.get());
    EXPECT_EQ(settings->windowTitle(), QStringLiteral("System Config"));
}

// Exit drops the connection first (trace windows are told while it still works), closes the
// settings window and ends the program.
TEST_F(MainWindowTest, ExitDropsConnectionAndClosesWindows) {
    bool ended = false;
    bool toldBeforeClose = false;
    window_->SetQuitHandler([&ended] { ended = true; });
    QObject::connect(window_.get(), &MainWindow::ConnectionLosing, window_.get(),
                     [&] { toldBeforeClose = window_->Client().IsConnected(); });
    window_->OpenSettingsWindow();
    QPointer<SettingsWindow> settings = window_->OpenedSettingsWindow();
    window_->MenuAction(QStringLiteral("mnuExit"))->trigger();
    EXPECT_TRUE(ended);
    EXPECT_TRUE(toldBeforeClose);
    EXPECT_FALSE(window_->Client().IsConnected());
    EXPECT_EQ(window_->IconName(), QStringLiteral("ICONX"));
    EXPECT_EQ(Find<QComboBox>("lstPort")->count(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&settings] { return settings.isNull(); }, 1000));
}

// Lists without a selection stand for their first item (the buffers and the baud rate for
// their usual values), so an update always carries all 22 fields.
TEST(PortSettingsFrameTest, UpdateWithoutSelectionsHasAllFields) {
    PortSettingsFrame frame;
    EXPECT_EQ(frame.SettingsUpdatePayload(2, QStringLiteral("Com12")),
              "2|FALSE|FALSE|0|12|FALSE|FALSE|1024|512|9600|n,8,1|0|0|0|0|||FALSE|||Server|");
}

}  // namespace
}  // namespace tolvan::test
