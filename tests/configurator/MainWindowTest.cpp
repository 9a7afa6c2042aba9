#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>

#include "configurator/StatusLine.h"
#include "configurator/WindowFrame.h"
#include "console_protocol/Frame.h"
#include "console_protocol/Messages.h"
#include "console_protocol/PortSettingsTable.h"
#include "console_protocol/TextForms.h"
#include "tests/configurator/ConfiguratorFixture.h"

namespace tolvan::test {
namespace {

// A port settings report for position 0 holding values no list offers and a lock-out of
// 600 minutes, as a store written by hand or by tolvanctl may.
std::vector<std::string> StoredReport() {
    return {"0",           "True",   "False",        "12",    "1",        "True", "False",
            "8192",        "300",    "115200",       "o,7,2", "3",        "0",    "600",
            "45",          "secret", "/tmp/log.txt", "true",  "10.0.0.9", "4001", "Server",
            "Bench | left"};
}

// The update a report comes back as when nothing was touched: Booleans spelled as requests.
std::vector<std::string> Untouched(std::vector<std::string> fields) {
    for (const int f :
         {console::kFieldEnabled, console::kFieldAcceptInput, console::kFieldDTREnable,
          console::kFieldRTSEnable, console::kFieldAllwaysConnected}) {
        fields[static_cast<std::size_t>(f)] = console::ToUpper(fields[static_cast<std::size_t>(f)]);
    }
    return fields;
}

class MainWindowTest : public ConfiguratorFixture {
protected:
    void SetUp() override {
        ConfiguratorFixture::SetUp();
        SelectFirstPort();
    }

    void Report(const std::vector<std::string>& fields) {
        peer_.Send("D1", console::JoinFields(fields));
        SentSoFar();
    }

    // The fields of the one settings update sent since the last look.
    std::vector<std::string> SentUpdate() {
        const std::vector<std::string> frames = SentSoFar();
        if (frames.size() != 1 || frames[0].rfind("D1|", 0) != 0) {
            ADD_FAILURE() << "expected one update, got " << frames.size() << " frames";
            return {};
        }
        const std::string& frame = frames[0];
        return console::SplitFields(frame.substr(frame.find('|', 3) + 1),
                                    console::kSettingsFieldCount);
    }

    QString Status() const { return window_->Status().Text(); }
    QLineEdit* Edit(const char* name) const { return Find<QLineEdit>(name); }
    QWidget* Frame() const { return Find<QWidget>("framePortSettings"); }
};

// Every stored value is shown, those no list offers included; editing the description alone
// sends every other field back exactly as reported; the answer is confirmed.
TEST_F(MainWindowTest, UpdateNeverChangesWhatWasNotTouched) {
    RegistryStore(storePath_)
        .RegWriteValue(std::string(kServiceKey) + "\\Port1", "Rfc2217", REG_SZ, "True");
    Report(StoredReport());
    EXPECT_EQ(Find<QLabel>("lblStoredOnly")->text(),
              QStringLiteral("In the store only: KeepAliveTimeout=900, Rfc2217=True"));
    EXPECT_EQ(ListText("lstBaud"), QStringLiteral("115200"));
    EXPECT_EQ(ListText("lstIBuffer"), QStringLiteral("8192"));
    EXPECT_EQ(ListText("lstOBuffer"), QStringLiteral("300"));
    EXPECT_EQ(ListText("lstSettings"), QStringLiteral("o,7,2"));
    EXPECT_EQ(Find<QSpinBox>("txtLockOut")->value(), 600);
    EXPECT_EQ(Find<QSpinBox>("txtMaxIdleTime")->value(), 45);
    EXPECT_EQ(Find<QSpinBox>("txtMaxConnections")->value(), 12);
    EXPECT_TRUE(Find<QCheckBox>("chkAllwaysConnect")->isChecked());

    Edit("txtPortDescription")->setText(QStringLiteral("Bench | right"));
    Find<QPushButton>("cmdUpdate")->click();
    EXPECT_FALSE(Frame()->isEnabled());
    std::vector<std::string> expected = Untouched(StoredReport());
    expected[console::kFieldPortDescription] = "Bench | right";
    EXPECT_EQ(SentUpdate(), expected);

    std::vector<std::string> answer = StoredReport();
    answer[console::kFieldPortDescription] = "Bench | right";
    Report(answer);
    EXPECT_TRUE(Frame()->isEnabled());
    EXPECT_TRUE(Status().contains(QStringLiteral("settings of COM1 were stored")))
        << Status().toStdString();
    EXPECT_FALSE(Find<QPushButton>("cmdRevert")->isEnabled());
}

// Changed fields are marked; a report from elsewhere refreshes the rest and keeps them;
// Revert brings back what is stored.
TEST_F(MainWindowTest, ChangesAreMarkedKeptAndReverted) {
    Report(StoredReport());
    auto* baud = Find<QComboBox>("lstBaud");
    baud->setCurrentIndex(baud->findText(QStringLiteral("9600")));
    Edit("txtPortDescription")->setText(QStringLiteral("moved"));
    EXPECT_TRUE(baud->property("changed").toBool());
    EXPECT_FALSE(Edit("txtPassword")->property("changed").toBool());

    std::vector<std::string> elsewhere = StoredReport();
    elsewhere[console::kFieldConnectPassword] = "changed elsewhere";
    Report(elsewhere);
    EXPECT_EQ(Edit("txtPassword")->text(), QStringLiteral("changed elsewhere"));
    EXPECT_EQ(baud->currentText(), QStringLiteral("9600"));
    EXPECT_EQ(Edit("txtPortDescription")->text(), QStringLiteral("moved"));
    EXPECT_TRUE(baud->property("changed").toBool());

    Find<QPushButton>("cmdRevert")->click();
    EXPECT_EQ(baud->currentText(), QStringLiteral("115200"));
    EXPECT_EQ(Edit("txtPortDescription")->text(), QStringLiteral("Bench | left"));
    EXPECT_FALSE(baud->property("changed").toBool());
    Find<QPushButton>("cmdUpdate")->click();
    EXPECT_EQ(SentUpdate(), Untouched(elsewhere));
}

// Unsent changes are never dropped without asking: not by choosing another port, not by Exit.
TEST_F(MainWindowTest, UnsentChangesAreAskedAbout) {
    bool ended = false;
    window_->SetQuitHandler([&ended] { ended = true; });
    Report(StoredReport());
    Edit("txtPortDescription")->setText(QStringLiteral("moved"));
    auto* lstPort = Find<QComboBox>("lstPort");

    answer_ = QMessageBox::Cancel;
    lstPort->setCurrentIndex(1);
    Q_EMIT lstPort->activated(1);
    window_->MenuAction(QStringLiteral("mnuExit"))->trigger();
    ASSERT_EQ(asked_.size(), 2);
    EXPECT_TRUE(asked_[0].contains(QStringLiteral("COM1 (Description)")));
    EXPECT_TRUE(asked_[0].contains(QStringLiteral("show COM3")));
    EXPECT_EQ(lstPort->currentIndex(), 0);
    EXPECT_FALSE(ended);
    EXPECT_TRUE(SentSoFar().empty());

    answer_ = QMessageBox::Discard;
    lstPort->setCurrentIndex(1);
    Q_EMIT lstPort->activated(1);
    EXPECT_EQ(SentSoFar(), (std::vector<std::string>{"D2|1|1", "D7|1|1", "D5|1|1", "DC|1|1"}));
    // The other port's report shows that port, nothing of the changes.
    std::vector<std::string> other = StoredReport();
    other[console::kFieldPort] = "1";
    other[console::kFieldPortNumber] = "3";
    Report(other);
    EXPECT_EQ(Edit("txtPortDescription")->text(), QStringLiteral("Bench | left"));
    window_->MenuAction(QStringLiteral("mnuExit"))->trigger();
    EXPECT_EQ(asked_.size(), 3);  // no changes left, nothing to ask
    EXPECT_TRUE(ended);
}

// Bad values are caught where they are typed, with a message beside the field, and never
// sent; what the server does not take is said.
TEST_F(MainWindowTest, BadInputIsCaughtAtTheField) {
    Report(StoredReport());
    auto* portType = Find<QComboBox>("lstPortUse");
    portType->setCurrentIndex(portType->findData(QStringLiteral("Client")));
    EXPECT_FALSE(Find<QWidget>("frameClientSettings")->isHidden());
    const auto problemOf = [this](const char* name) {
        auto* problem = Find<QLabel>((std::string(name) + "Problem").c_str());
        return problem->isHidden() ? QString() : problem->text();
    };

    for (const char* host : {"not a host!!", "999.1.2.3", ""}) {
        Edit("txtRemoteIP")->setText(QString::fromLatin1(host));
        EXPECT_FALSE(problemOf("txtRemoteIP").isEmpty()) << host;
    }
    for (const char* host : {"plc-7.example.net", "192.168.1.20", "fe80::1"}) {
        Edit("txtRemoteIP")->setText(QString::fromLatin1(host));
        EXPECT_TRUE(problemOf("txtRemoteIP").isEmpty()) << host;
    }
    Edit("txtRemotePort")->setText(QStringLiteral("70000"));
    EXPECT_EQ(problemOf("txtRemotePort"), QStringLiteral("Enter a port from 1 to 65535."));
    Edit("txtLogFile")->setText(QStringLiteral("/tmp/a|b"));
    EXPECT_FALSE(problemOf("txtLogFile").isEmpty());
    Find<QPushButton>("cmdUpdate")->click();
    EXPECT_TRUE(SentSoFar().empty());
    EXPECT_TRUE(Status().contains(QStringLiteral("correct the marked fields")));

    Edit("txtLogFile")->setText(QStringLiteral("/tmp/log.txt"));
    Edit("txtRemotePort")->setText(QStringLiteral("4002"));
    Find<QPushButton>("cmdUpdate")->click();
    const std::vector<std::string> sent = SentUpdate();
    ASSERT_EQ(sent.size(), 22u);
    EXPECT_EQ(sent[console::kFieldServiceType], "Client");
    EXPECT_EQ(sent[console::kFieldRemoteIP], "fe80::1");
    EXPECT_EQ(sent[console::kFieldRemotePort], "4002");

    // A server that refuses the update answers with what it kept.
    Report(StoredReport());
    EXPECT_TRUE(
        Status().contains(QStringLiteral("did not take Port type, Remote host and "
                                         "Remote port for COM1")))
        << Status().toStdString();
    EXPECT_TRUE(Find<QWidget>("lstPortUse")->property("changed").toBool());
}

// While the window is shown the counters and port states are asked for every two seconds,
// answered or not; states show in the port list and beside it.
TEST_F(MainWindowTest, CountersAndStatesRefreshWhileShown) {
    window_->show();
    RefreshTimer().start();
    ASSERT_TRUE(peer_.WaitForFrames(4, 3 * MainWindow::kRefreshInterval));
    EXPECT_EQ(std::vector<std::string>(peer_.Frames().begin(), peer_.Frames().begin() + 4),
              (std::vector<std::string>{"D7|1|0", "DC|0|", "D7|1|0", "DC|0|"}));

    peer_.Send("DC", "0|locked-out|2025-01-02 10:00:00|");
    peer_.Send("DC", "1|failed||busy: /dev/ttyUSB0 is held by another program");
    SentSoFar();
    auto* lstPort = Find<QComboBox>("lstPort");
    EXPECT_EQ(lstPort->itemText(0), QStringLiteral("COM1 (locked out)"));
    EXPECT_EQ(lstPort->itemText(1), QStringLiteral("COM3 (could not open)"));
    EXPECT_EQ(Find<QLabel>("lblPortState")->text(),
              QStringLiteral("Locked out after bad passwords until 2025-01-02 10:00:00"));

    window_->hide();
    QTest::qWait(MainWindow::kRefreshInterval + 300);
    EXPECT_TRUE(SentSoFar().empty());
}

// Connection notices keep every port's count for the notification area's tip.
TEST_F(MainWindowTest, TrayTipCountsConnectionsPerPort) {
    peer_.Send("D2", "-2|3");
    EXPECT_EQ(SentSoFar(), (std::vector<std::string>{"D5|1|0", "D5|1|1"}));
    EXPECT_EQ(window_->IconName(), QStringLiteral("ICON3"));
    peer_.Send("D5", "0|2|1|1|12/01/2005|10.0.0.5|7|2|0|12/01/2005|10.0.0.6|7");
    peer_.Send("D5", "1|1|1|1|12/01/2005|10.0.0.7|7");
    SentSoFar();
    EXPECT_EQ(
        window_->TrayToolTip(),
        QStringLiteral("Tolvan Server: 3 connections\nCOM1: 2 connections\nCOM3: 1 connection"));
    peer_.Send("D2", "1|2");
    EXPECT_EQ(SentSoFar(), (std::vector<std::string>{"D5|1|1"}));
}

// A console the server will not serve says why, and when the next try comes.
TEST_F(MainWindowTest, StatusLineSaysWhyThereIsNoConsole) {
    peer_.Send("DE", "not-permitted|user 1000 is not in group tolvan");
    ASSERT_TRUE(QTest::qWaitFor([this] { return !peer_.HasClient(); }));
    ASSERT_TRUE(QTest::qWaitFor([this] { return window_->IconName() == QStringLiteral("ICONX"); }));
    EXPECT_TRUE(Status().contains(QStringLiteral("does not let this user use its console")));
    EXPECT_TRUE(Status().contains(QStringLiteral("user 1000 is not in group tolvan")));
    EXPECT_TRUE(Status().contains(QStringLiteral("Next try in")));
    EXPECT_TRUE(Find<QLabel>("lblOffline")->isVisibleTo(window_.get()));

    ASSERT_TRUE(peer_.WaitForClient(2 * ConsoleClient::kReconnectInterval));
    peer_.Send("DE", "full|4 consoles in use");
    ASSERT_TRUE(QTest::qWaitFor([this] { return Status().contains(QStringLiteral("full")); }));
    EXPECT_EQ(Find<QComboBox>("lstPort")->count(), 0);
}

// With the service stopped the status line offers to start it; a refusal shows systemctl's
// words; once it starts the console connects at once.
TEST_F(MainWindowTest, StatusLineStartsTheService) {
    FakeSystemctl systemctl(dir_);
    const quint16 port = peer_.Port();
    peer_.Stop();
    StatusLine& status = window_->Status();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Status().contains(QStringLiteral("service is not running (inactive)")); },
        2 * ConsoleClient::kReconnectInterval));
    EXPECT_TRUE(status.StartButton()->isVisibleTo(&status));

    systemctl.Refuse("Failed to start TolvanServer.service: Access denied");
    status.StartButton()->click();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Status().contains(QStringLiteral("Access denied")); }));

    systemctl.Refuse("");
    ASSERT_TRUE(peer_.Listen(port));
    status.StartButton()->click();
    ASSERT_TRUE(peer_.WaitForClient(ConsoleClient::kReconnectInterval / 2));
    EXPECT_TRUE(Status().contains(QStringLiteral("The service was started.")));
    EXPECT_EQ(systemctl.Log().count(QStringLiteral("start TolvanServer")), 2);
}

// File > Exit ends the program, although the close box keeps it running (here minimised, as
// on a desktop without a notification area).
TEST_F(MainWindowTest, FileExitEndsTheProgram) {
    window_->SetQuitHandler({});
    window_->Frame().SetTrayAvailability([] { return false; });
    window_->show();
    QTimer::singleShot(0, [this] { window_->MenuAction(QStringLiteral("mnuExit"))->trigger(); });
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    giveUp.start(5000);
    EXPECT_EQ(QApplication::exec(), 0);
}

// Tab goes top to bottom and left to right through each group and never comes back to one;
// read-only fields are not visited; every caption has its own mnemonic.
TEST_F(MainWindowTest, KeyboardOrderAndMnemonics) {
    Report(StoredReport());
    peer_.Send("D7", "0|12/01/2005|1|2|3|4|5|6|7|8|9|10");
    peer_.Send("D5", "0|1|1|1|12/01/2005|10.0.0.5|7");
    SentSoFar();
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));

    QList<QWidget*> chain;
    QWidget* start = Find<QWidget>("lstPort");
    for (QWidget* w = start; chain.size() < 200; w = w->nextInFocusChain()) {
        if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)) {
            if (!chain.isEmpty() && w == start) {
                break;
            }
            chain << w;
        }
    }
    const auto group = [](QWidget* w) {
        for (QWidget* p = w->parentWidget(); p != nullptr; p = p->parentWidget()) {
            if (qobject_cast<QGroupBox*>(p) != nullptr) {
                return p;
            }
        }
        return static_cast<QWidget*>(nullptr);
    };
    const auto related = [](QWidget* a, QWidget* b) {
        return a == nullptr || b == nullptr || a == b || a->isAncestorOf(b) || b->isAncestorOf(a);
    };
    QList<QWidget*> groupsLeft;
    for (qsizetype i = 1; i < chain.size(); ++i) {
        QWidget* a = chain[i - 1];
        QWidget* b = chain[i];
        EXPECT_EQ(qobject_cast<QLabel*>(b), nullptr);
        const std::string step =
            a->objectName().toStdString() + " -> " + b->objectName().toStdString();
        if (related(group(a), group(b))) {
            const QPoint pa = a->mapTo(window_.get(), QPoint(0, 0));
            const QPoint pb = b->mapTo(window_.get(), QPoint(0, 0));
            const bool below = pb.y() > pa.y() + a->height() / 2;
            const bool rightOnRow = std::abs(pb.y() - pa.y()) <= a->height() / 2 && pb.x() > pa.x();
            EXPECT_TRUE(below || rightOnRow) << step;
        } else {
            EXPECT_FALSE(groupsLeft.contains(group(b))) << step;
            groupsLeft << group(a);
        }
    }
    EXPECT_GE(chain.size(), 20);

    QMap<QChar, QString> letters;
    letters[u'F'] = QStringLiteral("File menu");
    letters[u'H'] = QStringLiteral("Help menu");
    for (QWidget* w : window_->findChildren<QWidget*>()) {
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w); label != nullptr && label->buddy() != nullptr) {
            text = label->text();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            text = button->text();
        }
        if (text.isEmpty() || !w->isVisible()) {
            continue;
        }
        const qsizetype amp = text.indexOf(u'&');
        if (amp < 0 || amp + 1 >= text.size()) {
            ADD_FAILURE() << "no mnemonic: " << text.toStdString();
            continue;
        }
        const QChar letter = text[amp + 1].toUpper();
        EXPECT_FALSE(letters.contains(letter))
            << text.toStdString() << " and " << letters.value(letter).toStdString();
        letters[letter] = text;
    }
}

// The window fits a 1280 x 720 screen (1920 x 1080 at 150 %) without scrolling, and what a
// larger window gains goes to the settings and the connection table.
TEST_F(MainWindowTest, LayoutFitsAndGrows) {
    Report(StoredReport());
    peer_.Send("D7", "0|12/01/2005|1|2|3|4|5|6|7|8|9|10");
    peer_.Send("D5", "0|0");
    SentSoFar();
    window_->show();
    const QSize needed =
        window_->findChild<QWidget*>(QStringLiteral("frameContainer"))->minimumSizeHint() +
        QSize(0,
              window_->menuBar()->sizeHint().height() + window_->statusBar()->sizeHint().height());
    EXPECT_LE(needed.width(), 1280);
    EXPECT_LE(needed.height(), 720 - 40);

    auto* table = Find<QTableWidget>("lstConnectionInfo");
    window_->resize(1000, 700);
    QTest::qWait(50);
    const QSize small = table->size();
    const int description = Edit("txtPortDescription")->width();
    window_->resize(1600, 1000);
    QTest::qWait(50);
    EXPECT_GT(table->height(), small.height() + 100);
    EXPECT_GT(table->width(), small.width() + 300);
    EXPECT_GT(Edit("txtPortDescription")->width(), description + 200);
}

}  // namespace
}  // namespace tolvan::test
