#include "configurator/TraceWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "configurator/Icons.h"
#include "configurator/TraceFormat.h"

namespace tolvan {
namespace {

QCheckBox* NamedCheckBox(const QString& name, const QString& caption, bool ticked) {
    auto* box = new QCheckBox(caption);
    box->setObjectName(name);
    box->setChecked(ticked);
    return box;
}

}  // namespace

TraceWindow::TraceWindow(const QStringList& ports, TraceSwitch sendTraceSwitch, QWidget* parent)
    : QWidget(parent, Qt::Window), sendTraceSwitch_(std::move(sendTraceSwitch)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("F5"));
    setWindowTitle(QStringLiteral("Tolvan Server Trace"));
    setWindowIcon(TolvanIcon(QStringLiteral("ICONIDLE")));
    BuildControls(ports);
    resize(720, 520);
}

QString TraceWindow::DefaultLogPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/TolvanServerConfig/Log.log");
}

void TraceWindow::BuildControls(const QStringList& ports) {
    lstPorts_ = new QListWidget;
    lstPorts_->setObjectName(QStringLiteral("lstPorts"));
    for (const QString& text : ports) {
        auto* item = new QListWidgetItem(text, lstPorts_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    ticked_.assign(static_cast<std::size_t>(ports.size()), false);
    lstPorts_->setMaximumWidth(160);
    connect(lstPorts_, &QListWidget::itemChanged, this, &TraceWindow::OnItemChanged);

    txtTrace_ = new QPlainTextEdit;
    txtTrace_->setObjectName(QStringLiteral("txtTrace"));
    txtTrace_->setReadOnly(true);
    txtTrace_->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtTrace_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    chkIncludeTimeStamp_ = NamedCheckBox(QStringLiteral("chkIncludeTimeStamp"),
                                         QStringLiteral("Include &time stamp"), false);
    cmdClear_ = new QPushButton(QStringLiteral("&Clear"));
    cmdClear_->setObjectName(QStringLiteral("cmdClear"));
    connect(cmdClear_, &QPushButton::clicked, this, &TraceWindow::OnClear);

    frame1_ = new QGroupBox(QStringLiteral("Show"));
    frame1_->setObjectName(QStringLiteral("Frame1"));
    chkSerialData_ =
        NamedCheckBox(QStringLiteral("chkSerialData"), QStringLiteral("Serial &data"), true);
    chkSerialEvents_ =
        NamedCheckBox(QStringLiteral("chkSerialEvents"), QStringLiteral("Serial &events"), true);
    chkSocketEvents_ =
        NamedCheckBox(QStringLiteral("chkSocketEvents"), QStringLiteral("S&ocket events"), true);
    auto* filterLayout = new QVBoxLayout(frame1_);
    filterLayout->addWidget(chkSerialData_);
    filterLayout->addWidget(chkSerialEvents_);
    filterLayout->addWidget(chkSocketEvents_);

    frameFile_ = new QGroupBox(QStringLiteral("Log to file"));
    frameFile_->setObjectName(QStringLiteral("frameFile"));
    chkLogToFile_ =
        NamedCheckBox(QStringLiteral("chkLogToFile"), QStringLiteral("&Write to file"), false);
    txtFileName_ = new QLineEdit(DefaultLogPath());
    txtFileName_->setObjectName(QStringLiteral("txtFileName"));
    auto* fileLabel = new QLabel(QStringLiteral("File &name"));
    fileLabel->setBuddy(txtFileName_);
    chkIncludeTimeStampFile_ = NamedCheckBox(QStringLiteral("chkIncludeTimeStampFile"),
                                             QStringLiteral("Time stamp in f&ile"), false);
    auto* fileLayout = new QGridLayout(frameFile_);
    fileLayout->addWidget(chkLogToFile_, 0, 0);
    fileLayout->addWidget(chkIncludeTimeStampFile_, 0, 1);
    fileLayout->addWidget(fileLabel, 1, 0);
    fileLayout->addWidget(txtFileName_, 1, 1);
    fileLayout->setColumnStretch(1, 1);
    connect(chkLogToFile_, &QCheckBox::toggled, this, &TraceWindow::OnLogToFileToggled);
    OnLogToFileToggled(chkLogToFile_->isChecked());

    auto* portsLabel = new QLabel(QStringLiteral("Trace &ports"));
    portsLabel->setBuddy(lstPorts_);
    auto* left = new QVBoxLayout;
    left->addWidget(portsLabel);
    left->addWidget(lstPorts_, 1);
    left->addWidget(frame1_);

    auto* traceBar = new QHBoxLayout;
    traceBar->addWidget(chkIncludeTimeStamp_);
    traceBar->addStretch(1);
    traceBar->addWidget(cmdClear_);
    auto* right = new QVBoxLayout;
    right->addLayout(traceBar);
    right->addWidget(txtTrace_, 1);

    auto* top = new QHBoxLayout;
    top->addLayout(left);
    top->addLayout(right, 1);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(top, 1);
    outer->addWidget(frameFile_);
}

void TraceWindow::OnItemChanged(QListWidgetItem* item) {
    const int port = lstPorts_->row(item);
    if (port < 0 || static_cast<std::size_t>(port) >= ticked_.size()) {
        return;
    }
    const bool on = item->checkState() == Qt::Checked;
    if (ticked_[static_cast<std::size_t>(port)] == on) {
        return;  // a text change or a repeated state: nothing to switch
    }
    ticked_[static_cast<std::size_t>(port)] = on;
    if (sendTraceSwitch_) {
        sendTraceSwitch_(port, on);
    }
}

void TraceWindow::OnClear() {
    trace_.clear();
    txtTrace_->clear();
    lstPorts_->setFocus();
}

void TraceWindow::OnLogToFileToggled(bool on) {
    txtFileName_->setEnabled(on);
    chkIncludeTimeStampFile_->setEnabled(on);
}

int TraceWindow::TickedCount() const {
    int count = 0;
    for (const bool on : ticked_) {
        count += on ? 1 : 0;
    }
    return count;
}

bool TraceWindow::IsTicked(int port) const {
    return port >= 0 && static_cast<std::size_t>(port) < ticked_.size() &&
           ticked_[static_cast<std::size_t>(port)];
}

void TraceWindow::UntickAll() {
    for (int row = 0; row < lstPorts_->count(); ++row) {
        lstPorts_->item(row)->setCheckState(Qt::Unchecked);
    }
}

void TraceWindow::ShowTraceEvent(int port, const QString& comNumber, int kind,
                                 const QByteArray& text) {
    if (text.isEmpty()) {
        return;
    }
    if (!IsTicked(port)) {
        // The server still traces a port this window does not want: switch it off.
        if (sendTraceSwitch_) {
            sendTraceSwitch_(port, false);
        }
        return;
    }
    const TraceFilters filters{chkSerialData_->isChecked(), chkSerialEvents_->isChecked(),
                               chkSocketEvents_->isChecked()};
    if (!TraceKindShown(kind, filters)) {
        return;
    }
    const std::string line = FormatTraceLine(comNumber.toLatin1().toStdString(), kind,
                                             text.toStdString(), TickedCount() >= 2);
    const QString lineText = QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
    AppendToTrace(lineText);
    if (chkLogToFile_->isChecked()) {
        AppendToLogFile(lineText);
    }
}

void TraceWindow::AppendToTrace(const QString& line) {
    QString entry;
    if (chkIncludeTimeStamp_->isChecked()) {
        entry = TraceTimeStamp(QDateTime::currentDateTime()) + QLatin1Char(' ');
    }
    entry += line;
    trace_ += entry + QStringLiteral("\r\n");

    const QString cut = CutTraceText(trace_);
    if (cut.size() != trace_.size()) {
        trace_ = cut;
        QString shown = trace_;
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        if (shown.endsWith(QLatin1Char('\n'))) {
            shown.chop(1);
        }
        txtTrace_->setPlainText(shown);
    } else {
        txtTrace_->appendPlainText(entry);
    }
    // Following the end goes down, never sideways: the start of each line, with its time,
    // stays in view unless the operator scrolled away from it.
    QScrollBar* across = txtTrace_->horizontalScrollBar();
    const int acrossBefore = across->value();
    txtTrace_->moveCursor(QTextCursor::End);
    txtTrace_->verticalScrollBar()->setValue(txtTrace_->verticalScrollBar()->maximum());
    across->setValue(acrossBefore);
}

void TraceWindow::AppendToLogFile(const QString& line) const {
    const QString path = txtFileName_->text();
    if (path.isEmpty()) {
        return;
    }
    QByteArray record;
    if (chkIncludeTimeStampFile_->isChecked()) {
        record = TraceTimeStamp(QDateTime::currentDateTime()).toLatin1() + ' ';
    }
    record += line.toLatin1() + "\r\n";
    // Opened and closed per line, so another program can read the file in between; a bad path
    // or a file without rights loses the line and nothing else.
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        file.write(record);
    }
}

void TraceWindow::closeEvent(QCloseEvent* event) {
    for (std::size_t port = 0; port < ticked_.size(); ++port) {
        if (ticked_[port] && sendTraceSwitch_) {
            sendTraceSwitch_(static_cast<int>(port), false);
        }
    }
    // Until the deferred delete, late events count as events for unticked ports.
    ticked_.assign(ticked_.size(), false);
    event->accept();
}

}  // namespace tolvan
