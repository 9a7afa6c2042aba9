// Draws every window of the configurator, running against a real TolvanServer, into the PNG
// files the manual shows: tolvan_screenshots <folder> <suffix>. Run by scripts/screenshots
// under Xvfb, once per scale factor (QT_SCALE_FACTOR); the suffix names the scale ("100").
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "configurator/AboutWindow.h"
#include "configurator/Icons.h"
#include "configurator/MainWindow.h"
#include "configurator/ServerSettings.h"
#include "configurator/SettingsWindow.h"
#include "configurator/StatusLine.h"
#include "configurator/TraceWindow.h"
#include "configurator/WindowFrame.h"
#include "tests/e2e/ServerSandbox.h"
#include "tests/e2e/TcpClient.h"

namespace {

using tolvan::e2e::Millis;

// At most 256 colours, the most frequent kept and every other pixel mapped to its nearest:
// window pictures have few colours, and an indexed PNG is a fraction of the size.
QImage Indexed(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            ++counts[line[x]];
        }
    }
    QList<QPair<int, QRgb>> ranked;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        ranked.append({it.value(), it.key()});
    }
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a > b; });
    QList<QRgb> palette;
    for (qsizetype i = 0; i < ranked.size() && i < 256; ++i) {
        palette.append(ranked[i].second);
    }
    QHash<QRgb, int> nearest;
    QImage out(image.size(), QImage::Format_Indexed8);
    out.setColorTable(palette);
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uchar* target = out.scanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            auto found = nearest.constFind(line[x]);
            if (found == nearest.constEnd()) {
                int best = 0;
                int bestDistance = INT_MAX;
                for (int i = 0; i < palette.size(); ++i) {
                    const int dr = qRed(palette[i]) - qRed(line[x]);
                    const int dg = qGreen(palette[i]) - qGreen(line[x]);
                    const int db = qBlue(palette[i]) - qBlue(line[x]);
                    const int distance = dr * dr + dg * dg + db * db;
                    if (distance < bestDistance) {
                        best = i;
                        bestDistance = distance;
                    }
                }
                found = nearest.insert(line[x], best);
            }
            target[x] = static_cast<uchar>(found.value());
        }
    }
    return out;
}

class Shooter {
public:
    Shooter(const QString& folder, QString suffix) : out_(folder), suffix_(std::move(suffix)) {}

    void Save(QWidget& window, const char* name) {
        QTest::qWait(400);
        const QString path =
            out_.filePath(QString::fromLatin1(name) + u'-' + suffix_ + QStringLiteral(".png"));
        if (!Indexed(window.grab().toImage()).save(path, "PNG", 0)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            failed_ = true;
        }
    }
    bool Failed() const { return failed_; }

private:
    QDir out_;
    QString suffix_;
    bool failed_ = false;
};

bool LogIn(tolvan::e2e::TcpClient& client, int port) {
    return client.Connect(port) &&
           client.ReadUntil("Password:").find("Password:") != std::string::npos &&
           client.Write("Mirelo\r") &&
           client.ReadUntil("Connected....\r\n").find("Connected") != std::string::npos;
}

template <typename T>
T* Find(QWidget& window, const char* name) {
    return window.findChild<T*>(QString::fromLatin1(name));
}

bool WaitFor(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, 10000);
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: tolvan_screenshots <folder> <suffix>\n");
        return 2;
    }
    Shooter shoot(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));

    // The icons at the notification area's sizes, each state in a row.
    {
        QWidget strip;
        strip.setStyleSheet(QStringLiteral("background: white;"));
        auto* grid = new QGridLayout(&strip);
        const QStringList names{QStringLiteral("ICONX"), QStringLiteral("ICONIDLE"),
                                QStringLiteral("ICON3"), QStringLiteral("ICONPLUS")};
        for (int row = 0; row < names.size(); ++row) {
            int column = 0;
            for (const int size : {16, 22, 32}) {
                auto* icon = new QLabel;
                icon->setPixmap(tolvan::TolvanIcon(names[row]).pixmap(size));
                grid->addWidget(icon, row, column++, Qt::AlignCenter);
            }
        }
        strip.show();
        shoot.Save(strip, "tray-icons");
    }

    tolvan::e2e::ServerSandbox box;
    tolvan::e2e::PseudoTerminal& device = box.AddPty(1);
    box.AddPty(3);
    box.EnablePort(1, "Mirelo");
    box.EnablePort(3, "Mirelo");
    box.SetValue("Port1", "Settings", "115200,n,8,1");
    box.SetValue("Port1", "PortDescription", "Weighing scale, loading bay 2");
    box.SetValue("Port1", "LogFile", "/var/log/tolvan/com1.log");
    box.SetValue("Port3", "PortDescription", "Label printer");
    if (!box.Start() || !box.WaitUntilReady() ||
        !tolvan::e2e::WaitFor([&] { return tolvan::e2e::IsListening(box.DataPort(1)); },
                              Millis(5000))) {
        std::fprintf(stderr, "server did not start\n%s", box.Stderr().c_str());
        return 1;
    }

    // systemd does not run the sandboxed server; this stand-in tells the configurator what state
    // the service is in for each picture.
    const std::string stateFile = box.Dir().File("service-state");
    const std::string systemctl = box.Dir().File("systemctl");
    {
        QFile script(QString::fromStdString(systemctl));
        script.open(QIODevice::WriteOnly);
        script.write(QStringLiteral("#!/bin/sh\n[ \"$1\" = is-active ] && cat '%1'\nexit 0\n")
                         .arg(QString::fromStdString(stateFile))
                         .toUtf8());
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const auto serviceState = [&stateFile](const char* state) {
        QFile file(QString::fromStdString(stateFile));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(QByteArray(state) + '\n');
    };
    qputenv("TOLVAN_SYSTEMCTL", QByteArray::fromStdString(systemctl));
    serviceState("inactive");

    // Not connected: the configurator pointed at a port where nothing listens.
    const std::string unusedStore = box.Dir().File("unused.reg");
    tolvan::RegistryStore(unusedStore)
        .RegWriteValue(std::string(tolvan::kServiceKey) + "\\Settings", "BaseTCPPort",
                       tolvan::REG_SZ, std::to_string(tolvan::e2e::FindFreePortRange(1)));
    {
        tolvan::ServerSettings nowhere(unusedStore);
        tolvan::MainWindow offline(nowhere);
        offline.SetQuitHandler([] {});
        offline.Start({});
        WaitFor([&] {
            return offline.Status().StartButton()->isVisible() &&
                   offline.Status().Text().contains(QStringLiteral("inactive"));
        });
        shoot.Save(offline, "main-window-offline");
    }

    serviceState("active");
    qputenv("TOLVAN_REGISTRY", QByteArray::fromStdString(box.RegistryPath()));
    tolvan::ServerSettings settings(tolvan::ServerSettings::StorePathFromEnvironment());
    tolvan::MainWindow window(settings);
    window.SetQuitHandler([] {});
    window.Start({});
    auto* frame = Find<QWidget>(window, "framePortSettings");
    if (!WaitFor([&] { return frame->isVisible() && frame->isEnabled(); })) {
        std::fprintf(stderr, "no console connection\n");
        return 1;
    }
    tolvan::e2e::TcpClient first;
    tolvan::e2e::TcpClient second;
    tolvan::e2e::TcpClient waiting;
    if (!LogIn(first, box.DataPort(1)) || !LogIn(second, box.DataPort(1)) ||
        !waiting.Connect(box.DataPort(1))) {
        std::fprintf(stderr, "clients not admitted\n");
        return 1;
    }
    for (const char* line : {"ST,GS,+0012.45kg\r\n", "ST,GS,+0012.50kg\r\n"}) {
        device.Write(line);
    }
    first.Write("P\r\n");
    auto* table = Find<QTableWidget>(window, "lstConnectionInfo");
    WaitFor([&] { return table->rowCount() == 3; });
    table->selectRow(0);
    // The counters of the traffic above, from the next refresh.
    QTest::qWait(tolvan::MainWindow::kRefreshInterval + 500);
    shoot.Save(window, "main-window");

    // Changes not yet sent, one of them wrong.
    auto* description = Find<QLineEdit>(window, "txtPortDescription");
    description->setText(QStringLiteral("Weighing scale, loading bay 3"));
    auto* portType = Find<QComboBox>(window, "lstPortUse");
    portType->setCurrentIndex(1);
    Find<QLineEdit>(window, "txtRemoteIP")->setText(QStringLiteral("scale-gateway.example.net"));
    Find<QLineEdit>(window, "txtRemotePort")->setText(QStringLiteral("70000"));
    shoot.Save(window, "main-window-changes");
    Find<QPushButton>(window, "cmdRevert")->click();

    // The question before a connection is dropped, drawn while it is open.
    window.SetAsk([&shoot](QWidget* parent, const QString& title, const QString& text,
                           QMessageBox::StandardButtons buttons, QMessageBox::StandardButton) {
        QMessageBox box(QMessageBox::Question, title, text, buttons, parent);
        box.show();
        shoot.Save(box, "disconnect-question");
        return QMessageBox::No;
    });
    Find<QPushButton>(window, "cmdDisconnect")->click();

    window.MenuAction(QStringLiteral("mnuTracEwINDOW"))->trigger();
    tolvan::TraceWindow* trace = window.Frame().OpenedTraceWindow();
    auto* ports = Find<QListWidget>(*trace, "lstPorts");
    ports->item(0)->setCheckState(Qt::Checked);
    Find<QCheckBox>(*trace, "chkIncludeTimeStamp")->setChecked(true);
    QTest::qWait(300);
    for (const std::string& line : {std::string("ST,GS,+0012.45kg\r\n"), std::string("\x02W\x03"),
                                    std::string("\xFF\x10") + "OK\r\n"}) {
        device.Write(line);
        QTest::qWait(150);
    }
    first.Write("P\r\n");
    WaitFor([&] { return trace->TraceText().count(QStringLiteral("\r\n")) >= 4; });
    trace->resize(trace->sizeHint().expandedTo(QSize(760, 420)));
    shoot.Save(*trace, "trace-window");

    window.OpenSettingsWindow();
    tolvan::SettingsWindow* settingsWindow = window.OpenedSettingsWindow();
    WaitFor(
        [&] { return !Find<QLabel>(*settingsWindow, "lblServiceState")->text().contains(u'.'); });
    shoot.Save(*settingsWindow, "settings-window");

    window.MenuAction(QStringLiteral("mnuAbout"))->trigger();
    tolvan::AboutWindow* about = window.Frame().OpenedAboutWindow();
    WaitFor([&] { return !Find<QLabel>(*about, "lblReleaseDate")->text().isEmpty(); });
    shoot.Save(*about, "about-window");
    return shoot.Failed() ? 1 : 0;
}
