#pragma once

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>

namespace tolvan {

// Starts, stops and restarts the server's service and asks for its state, through the service
// manager's command line tool, without ever waiting for it: every command runs as a QProcess
// and reports when it ends.
class ServiceControl : public QObject {
    Q_OBJECT

public:
    enum class Action { Start, Stop, Restart };

    explicit ServiceControl(QObject* parent = nullptr);
    ~ServiceControl() override;

    // $TOLVAN_SYSTEMCTL, else "systemctl"; it may carry arguments of its own.
    static QString SystemctlCommand();
    // "start", "stop", "restart".
    static QString Verb(Action action);

    // Asks for the service's state; StateChanged follows.
    void QueryState();
    // Runs the action unless one is running; Finished follows, then a fresh state.
    void Run(Action action);
    bool Busy() const { return command_ != nullptr; }
    // The last state the tool gave ("active", "inactive", "failed", "activating", ...); empty
    // while none is known or the tool could not be run.
    const QString& State() const { return state_; }

Q_SIGNALS:
    void StateChanged(const QString& state);
    void BusyChanged(bool busy);
    // ok: the tool succeeded. message: what it said when it failed, else a confirmation.
    void Finished(tolvan::ServiceControl::Action action, bool ok, const QString& message);

private:
    QProcess* StartTool(const QString& verb);
    void OnCommandEnded(Action action, QProcess* process, bool started);
    void OnQueryEnded(QProcess* process, bool started);

    QPointer<QProcess> command_;
    QPointer<QProcess> query_;
    bool queryAgain_ = false;
    QString state_;
};

}  // namespace tolvan
