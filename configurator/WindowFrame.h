#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <string>

#include "configurator/TrayIcon.h"

namespace tolvan {

class AboutWindow;
class MainWindow;
class TraceWindow;

// What surrounds the main window's work: the trace window, the About window, the tray icon with
// its menu, the exits, help and the system tools. Owns the tray icon and the two windows it opens.
class WindowFrame : public QObject {
    Q_OBJECT

public:
    explicit WindowFrame(MainWindow& window);
    ~WindowFrame() override;

    // mnuTracEwINDOW: opens the trace window, or raises the one already open.
    void OpenTraceWindow();
    // mnuAbout and mnuTrayAbout.
    void OpenAboutWindow();
    // SendToTray: the tray icon takes the window's place; without a tray the window minimises.
    void SendToTray();
    // mnuTrayOpen: the icon goes, the window comes back.
    void TrayOpen();
    // mnuTrayExit: ends the program on the console timer's next tick, half a second later.
    void TrayExit();
    // mnuHelpHelp.
    void OpenManual();

    TraceWindow* OpenedTraceWindow() const;
    AboutWindow* OpenedAboutWindow() const;
    TrayIcon& Tray() { return tray_; }
    // Whether the window is in the notification area.
    bool InTray() const { return tray_.IsVisible(); }

    // Decides whether a notification area exists; the desktop is asked by default.
    void SetTrayAvailability(std::function<bool()> available) {
        trayAvailable_ = std::move(available);
    }

private:
    void ConnectMenus();
    void OnTraceEvent(int port, const std::string& comText, int kind, const std::string& text);
    void OnVersionReport(const std::string& version, const std::string& releaseDate);
    void OnIconChanged(const QString& name);
    void CloseTraceWindow();

    MainWindow& window_;
    TrayIcon tray_;
    QPointer<TraceWindow> trace_;
    QPointer<AboutWindow> about_;
    std::function<bool()> trayAvailable_;
};

}  // namespace tolvan
