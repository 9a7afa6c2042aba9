#pragma once

#include <QString>
#include <QWidget>

#include "configurator/Autostart.h"
#include "configurator/ServiceControl.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace tolvan {

class ServerSettings;

// F3, "System Config": the server's base port, the log-in start with its start-up style, and
// starting and stopping the service. Shows what is stored when it opens; writes only on Update.
class SettingsWindow : public QWidget {
    Q_OBJECT

public:
    // executablePath: the program the log-in entry starts; empty means this program.
    SettingsWindow(ServerSettings& settings, QWidget* owner, Autostart autostart = Autostart(),
                   ServiceControl serviceControl = ServiceControl(), QString executablePath = {});

    // cmdConfigUpdate: writes or removes the log-in entry, then stores the style.
    void UpdateConfig();
    // cmdServerUpdate: stores the base port; an empty or impossible port stores nothing.
    void UpdateServer();
    // cmdServiceControl: runs the chosen service action; blocks until it has ended.
    void UpdateService();

private:
    void BuildLayout();
    void Load();

    ServerSettings& settings_;
    Autostart autostart_;
    ServiceControl serviceControl_;
    QString executablePath_;
    QComboBox* lstServiceControl_;
    QPushButton* cmdServiceControl_;
    QLineEdit* txtBasePort_;
    QPushButton* cmdServerUpdate_;
    QCheckBox* chkLoadAtLogin_;
    QGroupBox* frameStartupStyle_;
    QButtonGroup* optStartUpType_;
    QPushButton* cmdConfigUpdate_;
};

}  // namespace tolvan
