#include <QApplication>
#include <clocale>

#include "configurator/MainWindow.h"
#include "configurator/ServerSettings.h"
#include "configurator/SingleInstance.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    std::setlocale(LC_ALL, "");
    // The window lives on in the notification area when closed; only Exit ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    tolvan::SingleInstance instance;
    if (instance.SignalRunningInstance()) {
        return 0;
    }
    instance.Listen();

    tolvan::ServerSettings settings(tolvan::ServerSettings::StorePathFromEnvironment());
    tolvan::MainWindow window(settings);
    QObject::connect(&instance, &tolvan::SingleInstance::RestoreRequested, &window,
                     &tolvan::MainWindow::TrayOpen);
    window.Start(QApplication::arguments().mid(1));
    return QApplication::exec();
}
