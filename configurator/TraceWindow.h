#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

class QCheckBox;
class QCloseEvent;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;

namespace tolvan {

// The trace window: the operator ticks ports and watches their traffic.
//
// A window of its own, deleted when closed; hold it in a QPointer. Every tick or untick of a port,
// by the operator or by code, is passed to the trace switch callback with the port's position.
class TraceWindow : public QWidget {
public:
    using TraceSwitch = std::function<void(int port, bool on)>;

    // ports: the texts of the main window's port list, in order (position = port index).
    TraceWindow(const QStringList& ports, TraceSwitch sendTraceSwitch, QWidget* parent = nullptr);

    // One trace event report. The text arrives as bytes, one character per byte.
    void ShowTraceEvent(int port, const QString& comNumber, int kind, const QByteArray& text);

    // Unticks every port (each untick switches that port's trace off); used when the console
    // connection is lost.
    void UntickAll();

    // The trace as held, lines ending in CR LF (txtTrace shows it with plain line breaks).
    const QString& TraceText() const { return trace_; }

    static QString DefaultLogPath();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls(const QStringList& ports);
    void OnItemChanged(QListWidgetItem* item);
    void OnClear();
    void OnLogToFileToggled(bool on);
    int TickedCount() const;
    bool IsTicked(int port) const;
    void AppendToTrace(const QString& line);
    void AppendToLogFile(const QString& line) const;

    TraceSwitch sendTraceSwitch_;
    std::vector<bool> ticked_;  // last known tick of each item, so only real changes are sent
    QString trace_;

    QListWidget* lstPorts_ = nullptr;
    QPlainTextEdit* txtTrace_ = nullptr;
    QCheckBox* chkIncludeTimeStamp_ = nullptr;
    QPushButton* cmdClear_ = nullptr;
    QGroupBox* frame1_ = nullptr;
    QCheckBox* chkSerialData_ = nullptr;
    QCheckBox* chkSerialEvents_ = nullptr;
    QCheckBox* chkSocketEvents_ = nullptr;
    QGroupBox* frameFile_ = nullptr;
    QCheckBox* chkLogToFile_ = nullptr;
    QLineEdit* txtFileName_ = nullptr;
    QCheckBox* chkIncludeTimeStampFile_ = nullptr;
};

}  // namespace tolvan
