// Draws the configurator against a real TolvanServer into PNG files, for a look at the tray
// icon, the live trace and the About window: configurator_live_screenshots <folder>. Run under
// Xvfb with a tray host (trayer) so the notification area exists.
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>
#include <cstdio>
#include <memory>

#include "configurator/AboutWindow.h"
#include "configurator/MainWindow.h"
#include "configurator/ServerSettings.h"
#include "configurator/TraceWindow.h"
#include "configurator/WindowFrame.h"
#include "tests/e2e/ServerSandbox.h"
#include "tests/e2e/TcpClient.h"

namespace {

using tolvan::e2e::Millis;

bool LogIn(tolvan::e2e::TcpClient& client, int port) {
    return client.Connect(port) &&
           client.ReadUntil("Password:").find("Password:") != std::string::npos &&
           client.Write("Mirelo\r") &&
           client.ReadUntil("Connected....\r\n").find("Connected") != std::string::npos;
}

void SaveScreen(const QDir& out, const char* name) {
    QTest::qWait(400);
    QGuiApplication::primaryScreen()->grabWindow(0).save(out.filePath(QString::fromLatin1(name)));
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: configurator_live_screenshots <folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    std::printf("tray available: %d\n", QSystemTrayIcon::isSystemTrayAvailable() ? 1 : 0);

    tolvan::e2e::ServerSandbox box;
    tolvan::e2e::PseudoTerminal& device = box.AddPty(1);
    box.AddPty(3);
    box.EnablePort(1, "Mirelo");
    box.EnablePort(3, "Mirelo");
    if (!box.Start() || !box.WaitUntilReady() ||
        !tolvan::e2e::WaitFor([&] { return tolvan::e2e::IsListening(box.DataPort(1)); },
                              Millis(5000))) {
        std::fprintf(stderr, "server did not start\n%s", box.Stderr().c_str());
        return 1;
    }
    qputenv("TOLVAN_REGISTRY", QByteArray::fromStdString(box.RegistryPath()));
    tolvan::ServerSettings settings(tolvan::ServerSettings::StorePathFromEnvironment());
    tolvan::MainWindow window(settings);
    window.SetQuitHandler([] {});
    window.Start({});
    const auto iconIs = [&window](const char* name) {
        return QTest::qWaitFor([&] { return window.IconName() == QString::fromLatin1(name); },
                               5000);
    };
    if (!iconIs("ICONIDLE") || !QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "no console connection\n");
        return 1;
    }
    QTest::qWait(500);
    window.grab().save(out.filePath(QStringLiteral("main-window.png")));
    SaveScreen(out, "screen-main-window.png");

    window.SendToTray();
    SaveScreen(out, "tray-0-connections.png");
    tolvan::e2e::TcpClient first;
    tolvan::e2e::TcpClient second;
    if (!LogIn(first, box.DataPort(1)) || !LogIn(second, box.DataPort(3)) || !iconIs("ICON2")) {
        std::fprintf(stderr, "clients not admitted\n");
        return 1;
    }
    SaveScreen(out, "tray-2-connections.png");
    window.TrayOpen();

    window.MenuAction(QStringLiteral("mnuTracEwINDOW"))->trigger();
    tolvan::TraceWindow* trace = window.Frame().OpenedTraceWindow();
    trace->findChild<QListWidget*>(QStringLiteral("lstPorts"))->item(0)->setCheckState(Qt::Checked);
    QTest::qWait(300);
    for (const char* line : {"AT\r\n", "OK\r\n", "ST,GS,+0012.45kg\r\n", "\x02W\x03"}) {
        device.Write(line);
        QTest::qWait(150);
    }
    first.Write("P\r\n");
    QTest::qWait(500);
    trace->grab().save(out.filePath(QStringLiteral("trace-live.png")));

    window.MenuAction(QStringLiteral("mnuAbout"))->trigger();
    QTest::qWait(500);
    window.Frame().OpenedAboutWindow()->grab().save(out.filePath(QStringLiteral("about.png")));
    SaveScreen(out, "screen-all.png");
    std::printf("trace:\n%s\n", trace->TraceText().toStdString().c_str());
    return 0;
}
