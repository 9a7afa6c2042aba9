#include "configurator/ServiceControl.h"

#include <QProcessEnvironment>
#include <QRegularExpression>

namespace tolvan {
namespace {

const QString kServiceName = QStringLiteral("TolvanServer");

QString Output(QProcess& process) {
    return QString::fromLocal8Bit(process.readAll()).trimmed();
}

}  // namespace

ServiceControl::ServiceControl(QObject* parent) : QObject(parent) {}

ServiceControl::~ServiceControl() {
    // Nobody is told any more. A job the tool handed to systemd goes on without the tool.
    for (QProcess* process : {command_.data(), query_.data()}) {
        if (process != nullptr) {
            process->disconnect(this);
            process->kill();
            process->waitForFinished(1000);
        }
    }
}

QString ServiceControl::SystemctlCommand() {
    const QString command =
        QProcessEnvironment::systemEnvironment().value(QStringLiteral("TOLVAN_SYSTEMCTL"));
    return command.trimmed().isEmpty() ? QStringLiteral("systemctl") : command;
}

QString ServiceControl::Verb(Action action) {
    switch (action) {
        case Action::Start:
            return QStringLiteral("start");
        case Action::Stop:
            return QStringLiteral("stop");
        case Action::Restart:
            return QStringLiteral("restart");
    }
    return {};
}

QProcess* ServiceControl::StartTool(const QString& verb) {
    QStringList arguments = QProcess::splitCommand(SystemctlCommand());
    const QString program = arguments.isEmpty() ? QString() : arguments.takeFirst();
    arguments << verb << kServiceName;
    auto* process = new QProcess(this);
    process->setProcessChannelMode(QProcess::MergedChannels);
    // No terminal input: a tool must never sit waiting for an answer nobody can give.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProgram(program);
    process->setArguments(arguments);
    return process;
}

void ServiceControl::QueryState() {
    if (query_ != nullptr) {
        queryAgain_ = true;
        return;
    }
    QProcess* process = StartTool(QStringLiteral("is-active"));
    query_ = process;
    connect(process, &QProcess::finished, this, [this, process] { OnQueryEnded(process, true); });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) {
            OnQueryEnded(process, false);
        }
    });
    process->start();
}

void ServiceControl::OnQueryEnded(QProcess* process, bool started) {
    // "is-active" prints the state and fails for every state but active: its output is what
    // counts, and only a state word is a state (a system without systemd answers in prose).
    static const QRegularExpression word(QStringLiteral("^[a-z-]+$"));
    const QString first = started ? Output(*process).section(u'\n', 0, 0).trimmed() : QString();
    const QString state = word.match(first).hasMatch() ? first : QString();
    process->deleteLater();
    query_ = nullptr;
    state_ = state;
    Q_EMIT StateChanged(state_);
    if (queryAgain_) {
        queryAgain_ = false;
        QueryState();
    }
}

void ServiceControl::Run(Action action) {
    if (Busy()) {
        return;
    }
    QProcess* process = StartTool(Verb(action));
    command_ = process;
    connect(process, &QProcess::finished, this,
            [this, action, process] { OnCommandEnded(action, process, true); });
    connect(process, &QProcess::errorOccurred, this,
            [this, action, process](QProcess::ProcessError e) {
                if (e == QProcess::FailedToStart) {
                    OnCommandEnded(action, process, false);
                }
            });
    Q_EMIT BusyChanged(true);
    process->start();
}

void ServiceControl::OnCommandEnded(Action action, QProcess* process, bool started) {
    const QString command = SystemctlCommand() + u' ' + Verb(action) + u' ' + kServiceName;
    bool ok = false;
    QString message;
    if (!started) {
        message = command + QStringLiteral(" could not be run: ") + process->errorString();
    } else if (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0) {
        const QString output = Output(*process);
        message = command + QStringLiteral(" failed") +
                  (output.isEmpty() ? QStringLiteral(" (exit status %1)").arg(process->exitCode())
                                    : QStringLiteral(": ") + output);
    } else {
        ok = true;
        static const char* const kDone[] = {"The service was started.", "The service was stopped.",
                                            "The service was restarted."};
        message = QString::fromLatin1(kDone[static_cast<int>(action)]);
    }
    process->deleteLater();
    command_ = nullptr;
    Q_EMIT BusyChanged(false);
    Q_EMIT Finished(action, ok, message);
    QueryState();
}

}  // namespace tolvan
