#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <utility>
#include <vector>

#include "configurator/TraceWindow.h"

namespace tolvan {
namespace {

using Switch = std::pair<int, bool>;

class TraceWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = new TraceWindow(
            {QStringLiteral("Com1"), QStringLiteral("Com3"), QStringLiteral("Com4")},
            [this](int port, bool on) { switches_.emplace_back(port, on); });
    }
    void TearDown() override { delete window_.data(); }

    template <typename T>
    T* Child(const char* name) {
        T* child = window_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    void Tick(int port, bool on) {
        Child<QListWidget>("lstPorts")->item(port)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    QString Shown() { return Child<QPlainTextEdit>("txtTrace")->toPlainText(); }

    QPointer<TraceWindow> window_;
    std::vector<Switch> switches_;
};

// One ticked port: no prefix; two ticked: "(COM) " before the label. Serial data is shown as
// the line carried it: the doubling of byte 255 towards the clients is undone; data from the
// clients is shown as it came.
TEST_F(TraceWindowTest, PortPrefixOnlyWithTwoOrMoreTicked) {
    Tick(1, true);
    window_->ShowTraceEvent(1, QStringLiteral("3"), 1, QByteArray("AT\r\n"));
    Tick(2, true);
    window_->ShowTraceEvent(1, QStringLiteral("3"), 0, QByteArray("\xC8 ~"));
    EXPECT_EQ(window_->TraceText(),
              QStringLiteral("Serial In -> AT<0D><0A>\r\n(3) Serial Out -> <C8> ~\r\n"));
    EXPECT_EQ(Shown(), QStringLiteral("Serial In -> AT<0D><0A>\n(3) Serial Out -> <C8> ~"));
    Tick(2, false);
    window_->ShowTraceEvent(1, QStringLiteral("3"), 1,
                            QByteArray("\xFF\xFF"
                                       "A\xFF\xFF\xFF\xFF"));
    window_->ShowTraceEvent(1, QStringLiteral("3"), 0, QByteArray("\xFF\xFF"));
    EXPECT_TRUE(window_->TraceText().endsWith(
        QStringLiteral("\r\nSerial In -> <FF>A<FF><FF>\r\nSerial Out -> <FF><FF>\r\n")));
}

// Each filter drops its own kinds; an unknown kind is shown without a label regardless.
TEST_F(TraceWindowTest, FiltersDropTheirKindsButNeverUnknownOnes) {
    Tick(0, true);
    Child<QCheckBox>("chkSerialData")->setChecked(false);
    Child<QCheckBox>("chkSerialEvents")->setChecked(false);
    Child<QCheckBox>("chkSocketEvents")->setChecked(false);
    window_->ShowTraceEvent(0, QStringLiteral("1"), 0, "out");
    window_->ShowTraceEvent(0, QStringLiteral("1"), 1, "in");
    window_->ShowTraceEvent(0, QStringLiteral("1"), 2, "Framing Error");
    window_->ShowTraceEvent(0, QStringLiteral("1"), 3, "Connection Closed (Index 1)");
    window_->ShowTraceEvent(0, QStringLiteral("1"), 7, "odd");
    EXPECT_EQ(window_->TraceText(), QStringLiteral("odd\r\n"));

    Child<QCheckBox>("chkSerialEvents")->setChecked(true);
    window_->ShowTraceEvent(0, QStringLiteral("1"), 2, "Framing Error");
    window_->ShowTraceEvent(0, QStringLiteral("1"), 1, "in");
    EXPECT_EQ(window_->TraceText(), QStringLiteral("odd\r\nSerial Event -> Framing Error\r\n"));
}

// An event for a port that is not ticked turns that port's trace off and shows nothing; an
// empty text is ignored altogether.
TEST_F(TraceWindowTest, UntickedPortIsSwitchedOffAndEmptyTextIgnored) {
    Tick(0, true);
    switches_.clear();
    window_->ShowTraceEvent(2, QStringLiteral("4"), 1, "data");
    window_->ShowTraceEvent(9, QStringLiteral("16"), 1, "data");
    window_->ShowTraceEvent(1, QStringLiteral("3"), 1, QByteArray());
    window_->ShowTraceEvent(0, QStringLiteral("1"), 1, QByteArray());
    EXPECT_EQ(switches_, (std::vector<Switch>{{2, false}, {9, false}}));
    EXPECT_TRUE(window_->TraceText().isEmpty());
    EXPECT_TRUE(Shown().isEmpty());
}

// The trace never grows past 8000 characters: a long event leaves exactly its last 7000.
TEST_F(TraceWindowTest, LongTraceIsCutToItsLastSevenThousand) {
    Tick(0, true);
    window_->ShowTraceEvent(0, QStringLiteral("1"), 7, QByteArray(100, 'a'));
    window_->ShowTraceEvent(0, QStringLiteral("1"), 7, QByteArray(8000, 'b'));
    // 102 + 8002 characters exceed 8000: 7000 remain, all from the end of the second line.
    const QString expected = QString(6998, QLatin1Char('b')) + QStringLiteral("\r\n");
    EXPECT_EQ(window_->TraceText(), expected);
    EXPECT_EQ(Shown(), QString(6998, QLatin1Char('b')));

    // Short lines accumulate until the limit and are cut at the same point again.
    for (int i = 0; i < 200; ++i) {
        window_->ShowTraceEvent(0, QStringLiteral("1"), 7, QByteArray(10, 'c'));
    }
    EXPECT_LE(window_->TraceText().size(), 8000);
    EXPECT_TRUE(window_->TraceText().endsWith(QStringLiteral("cccccccccc\r\n")));
}

// Time stamps carry milliseconds; following new lines never scrolls sideways away from them.
TEST_F(TraceWindowTest, TimeStampsStayInView) {
    window_->show();
    Tick(0, true);
    Child<QCheckBox>("chkIncludeTimeStamp")->setChecked(true);
    window_->ShowTraceEvent(0, QStringLiteral("1"), 3, "Socket Connection Established (Index 1)");
    const QRegularExpression line(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} Socket Event -> Socket "
                       "Connection Established \\(Index 1\\)\\r\\n$"));
    EXPECT_TRUE(line.match(window_->TraceText()).hasMatch()) << window_->TraceText().toStdString();
    for (int i = 0; i < 5; ++i) {
        window_->ShowTraceEvent(0, QStringLiteral("1"), 1, QByteArray(400, 'x'));
    }
    auto* across = Child<QPlainTextEdit>("txtTrace")->horizontalScrollBar();
    EXPECT_GT(across->maximum(), 0);
    EXPECT_EQ(across->value(), 0);
}

// Shown lines are appended to the log file, one CR LF each, creating missing folders; filtered
// events are not written.
TEST_F(TraceWindowTest, LogFileGetsEachShownLineWithCrLf) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("nested/trace/Log.log"));
    Child<QLineEdit>("txtFileName")->setText(path);
    Child<QCheckBox>("chkLogToFile")->setChecked(true);
    Child<QCheckBox>("chkSocketEvents")->setChecked(false);
    Tick(0, true);
    Tick(1, true);
    window_->ShowTraceEvent(0, QStringLiteral("1"), 1, "AT\r\n");
    window_->ShowTraceEvent(1, QStringLiteral("3"), 3, "dropped");
    window_->ShowTraceEvent(1, QStringLiteral("3"), 0, "OK");

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(),
              QByteArray("(1) Serial In -> AT<0D><0A>\r\n(3) Serial Out -> OK\r\n"));
    file.close();

    Child<QCheckBox>("chkIncludeTimeStampFile")->setChecked(true);
    window_->ShowTraceEvent(0, QStringLiteral("1"), 7, "z");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 4);  // three lines and the empty rest after the last LF
    EXPECT_TRUE(
        QRegularExpression(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\(1\\) z\\r$"))
            .match(QString::fromLatin1(lines[2]))
            .hasMatch())
        << lines[2].toStdString();

    // A log file that cannot be written loses the line for the file only.
    Child<QLineEdit>("txtFileName")->setText(dir.path());  // a folder, not a file
    window_->ShowTraceEvent(0, QStringLiteral("1"), 7, "still shown");
    EXPECT_TRUE(window_->TraceText().endsWith(QStringLiteral("(1) still shown\r\n")));
}

}  // namespace
}  // namespace tolvan
