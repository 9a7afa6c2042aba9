#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace tolvan {

// mnuEventViewer and mnuServices: a terminal showing the service's journal or its status.
enum class SystemTool { EventViewer, Services };

struct SystemCommand {
    QString program;
    QStringList arguments;
};

// Finds an executable by name on PATH; empty when there is none.
using ExecutableFinder = std::function<QString(const QString& name)>;

// x-terminal-emulator (the desktop's chosen terminal) where it exists, else xterm.
QString ChooseTerminal(const ExecutableFinder& find);

// The command that shows the tool in the given terminal. systemctl is the command named by
// TOLVAN_SYSTEMCTL, or "systemctl".
SystemCommand SystemToolCommand(SystemTool tool, const QString& terminal, const QString& systemctl);

// Starts the tool detached from the configurator. Failures are ignored: there is nothing the
// operator could do about them here.
void StartSystemTool(SystemTool tool);

}  // namespace tolvan
