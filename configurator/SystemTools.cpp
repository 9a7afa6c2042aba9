#include "configurator/SystemTools.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

namespace tolvan {
namespace {

// Single-quoted for sh: every ' becomes '\''.
QString ShellQuote(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

}  // namespace

QString ChooseTerminal(const ExecutableFinder& find) {
    QString preferred = QStringLiteral("x-terminal-emulator");
    if (find && !find(preferred).isEmpty()) {
        return preferred;
    }
    return QStringLiteral("xterm");
}

SystemCommand SystemToolCommand(SystemTool tool, const QString& terminal,
                                const QString& systemctl) {
    if (tool == SystemTool::EventViewer) {
        // journalctl -f keeps running, so the terminal stays until the operator closes it.
        return {terminal,
                {QStringLiteral("-e"), QStringLiteral("journalctl"), QStringLiteral("-t"),
                 QStringLiteral("TolvanServer"), QStringLiteral("-f")}};
    }
    // The status is printed and the command ends; wait for Enter so the terminal stays open.
    const QString script = ShellQuote(systemctl) + QStringLiteral(
                                                       " status TolvanServer; echo; "
                                                       "printf 'Press Enter to close. '; read _");
    return {terminal, {QStringLiteral("-e"), QStringLiteral("sh"), QStringLiteral("-c"), script}};
}

void StartSystemTool(SystemTool tool) {
    const QString terminal =
        ChooseTerminal([](const QString& name) { return QStandardPaths::findExecutable(name); });
    QString systemctl =
        QProcessEnvironment::systemEnvironment().value(QStringLiteral("TOLVAN_SYSTEMCTL"));
    if (systemctl.isEmpty()) {
        systemctl = QStringLiteral("systemctl");
    }
    const SystemCommand command = SystemToolCommand(tool, terminal, systemctl);
    QProcess::startDetached(command.program, command.arguments);
}

}  // namespace tolvan
