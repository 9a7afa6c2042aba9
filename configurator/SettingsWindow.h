#pragma once

#include <QString>
#include <QWidget>

#include "configurator/Ask.h"
#include "configurator/Autostart.h"
#include "configurator/ServiceControl.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tolvan {

class ServerSettings;

// The settings window: the service (its state, Start, Stop, Restart), the server's base port,
// and the log-in start of this program. Shows what is stored when it opens; stores only when
// asked, and says how that went next to what was asked.
class SettingsWindow : public QWidget {
    Q_OBJECT

public:
    // executablePath: the program the log-in entry starts; empty means this program.
    SettingsWindow(ServerSettings& settings, ServiceControl& service, QWidget* owner,
                   Autostart autostart = Autostart(), QString executablePath = {});

    void SetAsk(Ask ask) { ask_ = std::move(ask); }
    // Save log-in start: writes or removes the log-in entry, then stores the style.
    void SaveLoginStart();
    // Save port: stores a base port that leaves room for COM16.
    void SaveBasePort();
    // Start, Stop (asked first) or Restart; the outcome shows below the buttons.
    void RunService(ServiceControl::Action action);

Q_SIGNALS:
    // How a save ended, for the main window's status line too.
    void Saved(const QString& message, bool ok);

private:
    void BuildLayout();
    void Load();
    void ShowServiceState();
    void ValidateBasePort();
    void ShowSaved(QLabel* label, const QString& message, bool ok);

    ServerSettings& settings_;
    ServiceControl& service_;
    Autostart autostart_;
    QString executablePath_;
    Ask ask_;
    QLabel* lblServiceState_;
    QPushButton* cmdStart_;
    QPushButton* cmdStop_;
    QPushButton* cmdRestart_;
    QLabel* lblServiceResult_;
    QLineEdit* txtBasePort_;
    QLabel* lblBasePortResult_;
    QPushButton* cmdServerUpdate_;
    QCheckBox* chkLoadAtLogin_;
    QGroupBox* frameStartupStyle_;
    QButtonGroup* optStartUpType_;
    QPushButton* cmdConfigUpdate_;
    QLabel* lblConfigResult_;
};

// Why a base port cannot be used, or empty: the console listens on it and COM16 on it + 16.
QString BasePortProblem(const QString& text);

}  // namespace tolvan
