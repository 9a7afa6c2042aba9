// Draws the main window, a filled connection list and the settings window into PNG files, for
// looking at the layout: configurator_screenshots <folder>. Best run under xvfb-run.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "configurator/ConnectionList.h"
#include "configurator/MainWindow.h"
#include "configurator/ServerSettings.h"
#include "configurator/SettingsWindow.h"
#include "settings_store/RegistryStore.h"
#include "tests/configurator/ConsolePeer.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: configurator_screenshots <folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir dir;
    tolvan::test::ConsolePeer peer;
    if (!dir.isValid() || !peer.Listen()) {
        return 1;
    }
    const std::string store = dir.filePath(QStringLiteral("registry.reg")).toStdString();
    tolvan::RegistryStore(store).RegWriteValue(std::string(tolvan::kServiceKey) + "\\Settings",
                                               "BaseTCPPort", tolvan::REG_SZ,
                                               std::to_string(peer.Port()));
    tolvan::ServerSettings settings(store);
    tolvan::MainWindow window(settings);
    window.SetQuitHandler([] {});
    window.Start({});
    if (!peer.WaitForClient() || !QTest::qWaitForWindowExposed(&window)) {
        return 1;
    }
    peer.Send("D3", "3|1|3|4");
    peer.Send("D1",
              "0|False|True|4|1|True|True|1024|512|9600|n,8,1|0|3|30|60||/var/log/tolvan/com1.log|"
              "False||0|Server|Weighing scale, loading bay 2");
    peer.Send("D7", "0|12/01/2005 10:15:00 AM|0|0|0|0|1834|20771|2|14|1|0");
    peer.Send(
        "D5",
        "0|3|1|1|12/01/2005 10:15:00 AM|10.0.0.5|7|2|1|12/01/2005 11:02:41 AM|192.168.100.210|"
        "7|4|0|12/02/2005|127.0.0.1|7");
    peer.Send("D2", "0|3");
    QTest::qWait(500);
    window.grab().save(out.filePath(QStringLiteral("main-window.png")));
    window.findChild<tolvan::ConnectionList*>()->grab().save(
        out.filePath(QStringLiteral("connection-list.png")));

    peer.Send("D1",
              "0|True|True|1|1|True|True|1024|512|9600|n,8,1|0|0|0|0|||True|10.1.2.3|4001|Client|"
              "Client port");
    QTest::qWait(300);
    window.grab().save(out.filePath(QStringLiteral("main-window-client.png")));

    window.OpenSettingsWindow();
    QTest::qWait(300);
    window.OpenedSettingsWindow()->grab().save(out.filePath(QStringLiteral("settings-window.png")));
    return 0;
}
