#include "configurator/WindowFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QSystemTrayIcon>

#include "configurator/AboutWindow.h"
#include "configurator/Icons.h"
#include "configurator/MainWindow.h"
#include "configurator/ManualLauncher.h"
#include "configurator/SystemTools.h"
#include "configurator/TraceWindow.h"

namespace tolvan {
namespace {

QString FromLatin1(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

WindowFrame::WindowFrame(MainWindow& window)
    : window_(window), trayAvailable_(&TrayIcon::Available) {
    ConnectMenus();

    ConsoleClient& client = window_.Client();
    connect(&client, &ConsoleClient::TraceEventReport, this, &WindowFrame::OnTraceEvent);
    connect(&client, &ConsoleClient::VersionReport, this, &WindowFrame::OnVersionReport);
    connect(&window_, &MainWindow::IconChanged, this, &WindowFrame::OnIconChanged);
    connect(&window_, &MainWindow::TrayToolTipChanged, &tray_, &TrayIcon::SetToolTip);
    connect(&window_, &MainWindow::ConnectionLosing, this, [this] {
        // Each untick switches its port off while the connection still carries requests.
        if (trace_ != nullptr) {
            trace_->UntickAll();
        }
    });
    connect(&window_, &MainWindow::ClosingWindows, this, [this] {
        tray_.Hide();
        CloseTraceWindow();
    });

    connect(&tray_, &TrayIcon::openRequested, this, &WindowFrame::TrayOpen);
    connect(&tray_, &TrayIcon::aboutRequested, this, &WindowFrame::OpenAboutWindow);
    connect(&tray_, &TrayIcon::exitRequested, this, &WindowFrame::TrayExit);

    window_.SetSendToTrayHandler([this] { SendToTray(); });
    window_.SetTrayOpenHandler([this] { TrayOpen(); });
    // The close box keeps the program running in the notification area.
    window_.SetCloseHandler([this](QCloseEvent* event) {
        event->ignore();
        SendToTray();
    });
}

WindowFrame::~WindowFrame() {
    // The trace window has no owner; it must not outlive the client its switches go through.
    delete trace_.data();
    delete about_.data();
}

TraceWindow* WindowFrame::OpenedTraceWindow() const {
    return trace_;
}

AboutWindow* WindowFrame::OpenedAboutWindow() const {
    return about_;
}

void WindowFrame::ConnectMenus() {
    const auto onMenu = [this](const char* name, auto handler) {
        if (QAction* action = window_.MenuAction(QString::fromLatin1(name))) {
            connect(action, &QAction::triggered, this, handler);
        }
    };
    onMenu("mnuTracEwINDOW", [this] { OpenTraceWindow(); });
    onMenu("mnuAbout", [this] { OpenAboutWindow(); });
    onMenu("mnuHelpHelp", [this] { OpenManual(); });
    onMenu("mnuEventViewer", [] { StartSystemTool(SystemTool::EventViewer); });
    onMenu("mnuServices", [] { StartSystemTool(SystemTool::Services); });
}

void WindowFrame::OpenTraceWindow() {
    // A closed window waits for its deferred delete; it is gone for the operator already.
    if (trace_ == nullptr || !trace_->isVisible()) {
        ConsoleClient& client = window_.Client();
        trace_ = new TraceWindow(window_.PortTexts(), [&client](int port, bool on) {
            client.SendTraceSwitch(port, on);
        });
    }
    trace_->show();
    trace_->raise();
    trace_->activateWindow();
}

void WindowFrame::CloseTraceWindow() {
    if (trace_ != nullptr) {
        trace_->close();
    }
}

void WindowFrame::OpenAboutWindow() {
    if (about_ == nullptr || !about_->isVisible()) {
        ConsoleClient& client = window_.Client();
        about_ = new AboutWindow([&client] { client.SendVersionRequest(); }, &window_);
    }
    about_->show();
    about_->raise();
    about_->activateWindow();
}

void WindowFrame::OpenManual() {
    ManualLauncher(&window_).OpenManual();
}

void WindowFrame::SendToTray() {
    const bool available = trayAvailable_ && trayAvailable_();
    tray_.SendToTray(window_, available);
    if (available) {
        tray_.SystemTrayIcon().setProperty("iconName", window_.IconName());
    }
}

void WindowFrame::TrayOpen() {
    tray_.Open(window_);
}

void WindowFrame::TrayExit() {
    if (!window_.MayDropChanges(QStringLiteral("exit"))) {
        return;
    }
    window_.EndSession();
    window_.Client().RequestExit();
}

void WindowFrame::OnTraceEvent(int port, const std::string& comText, int kind,
                               const std::string& text) {
    if (trace_ == nullptr) {
        // Nobody watches: stop the server tracing this port.
        window_.Client().SendTraceSwitch(port, false);
        return;
    }
    trace_->ShowTraceEvent(port, FromLatin1(comText), kind,
                           QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

void WindowFrame::OnVersionReport(const std::string& version, const std::string& releaseDate) {
    if (about_ != nullptr) {
        about_->ShowVersionReport({version, releaseDate});
    }
}

void WindowFrame::OnIconChanged(const QString& name) {
    if (InTray()) {
        tray_.SetIcon(TolvanIcon(name));
        tray_.SystemTrayIcon().setProperty("iconName", name);
    }
}

}  // namespace tolvan
