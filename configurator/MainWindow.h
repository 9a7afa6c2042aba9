#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

#include "configurator/Ask.h"
#include "configurator/ConsoleClient.h"
#include "configurator/ReportText.h"
#include "configurator/ServiceControl.h"

class QAction;
class QComboBox;
class QLabel;
class QScrollArea;
class QStackedWidget;

namespace tolvan {

class ConnectionList;
class PortCountersFrame;
class PortSettingsFrame;
class ServerSettings;
class SettingsWindow;
class StatusLine;
class WindowFrame;

// The main window: the port list, the selected port's settings, counters and connections, all
// filled from the server's reports; changes leave as console requests. Its status line says
// where the connection to the server stands.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Counters and port states are asked for this often while the window is shown.
    static constexpr int kRefreshInterval = 2000;

    explicit MainWindow(ServerSettings& settings, QWidget* parent = nullptr);
    ~MainWindow() override;

    ConsoleClient& Client() { return client_; }
    ServiceControl& Service() { return service_; }
    // The trace and About windows, the tray icon, help and the exits.
    WindowFrame& Frame() { return *frame_; }

    // Shows the window as a log-in start asks (see StartupStyleFor), then connects.
    void Start(const QStringList& arguments);

    // Report handlers; each receives the payload split into fields.
    void ShowPortList(const ReportFields& fields);
    void ShowPortSettings(const ReportFields& fields);
    void ShowPortStatistics(const ReportFields& fields);
    void ShowConnectionList(const ReportFields& fields);
    void ShowConnectionCount(const ReportFields& fields);
    void ShowPortState(const ReportFields& fields);
    void ServerConnectionLost();

    // The selected position of lstPort, -1 when none.
    int SelectedPort() const;
    // "COM1", "COM3": the ports in list order.
    QStringList PortTexts() const;
    // Hides the port's frames and asks for its settings, statistics, connections and state.
    void SelectPort();

    void SetIcon(const QString& name);
    const QString& IconName() const { return iconName_; }
    // The notification-area tip: the live connections per port.
    QString TrayToolTip() const;

    // Operations the window frame supplies; until then the window minimises and restores.
    void SendToTray();
    void TrayOpen();
    void SetSendToTrayHandler(std::function<void()> handler) { sendToTray_ = std::move(handler); }
    void SetTrayOpenHandler(std::function<void()> handler) { trayOpen_ = std::move(handler); }
    // Replaces what the close box does (by default it exits).
    void SetCloseHandler(std::function<void(QCloseEvent*)> handler) {
        closeHandler_ = std::move(handler);
    }
    // What "the program ends" does; QCoreApplication::exit by default (also for an empty one).
    void SetQuitHandler(std::function<void()> handler) { quit_ = std::move(handler); }
    // Who answers the questions of this window and the windows it opens.
    void SetAsk(Ask ask);
    const Ask& Asker() const { return ask_; }

    // Unsaved changes of the settings editor: asks whether to drop them. True when there are
    // none or the operator drops them.
    bool MayDropChanges(const QString& doing);
    // File > Exit: asks about unsaved changes, then EndSession and the program ends.
    void Exit();
    // Drops the connection and closes the other windows, for an exit.
    void EndSession();
    // The program ends (through the quit handler).
    void Quit();
    void OpenSettingsWindow();
    void CloseSettingsWindow();
    SettingsWindow* OpenedSettingsWindow() const;

    // The menu items by name (mnuTracEwINDOW, mnuSendToTray, ...); nullptr for unknown names.
    QAction* MenuAction(const QString& name) const;
    StatusLine& Status() const { return *statusLine_; }

Q_SIGNALS:
    // The window icon changed; a tray icon shows the same picture.
    void IconChanged(const QString& name);
    void TrayToolTipChanged(const QString& tip);
    // The console connection is being dropped: windows that trace ports switch them off now,
    // while requests can still reach the server.
    void ConnectionLosing();
    // The program is exiting: the other windows close.
    void ClosingWindows();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    QWidget* BuildContent();
    void SetTabOrder();
    void FitToScreen();
    void HidePortFrames();
    bool IsSelectedPort(const ReportFields& fields) const;
    void OnPortChosen(int index);
    void OnUpdateClicked();
    void OnRefreshTick();
    void ShowConnectionState();
    void ShowNotConnected();
    void ShowSelectedPortState();
    void RequestConnectionLists(int port);
    void UpdateTrayToolTip();

    ServerSettings& settings_;
    ConsoleClient client_;
    ServiceControl service_;
    Ask ask_;
    QComboBox* lstPort_ = nullptr;
    QLabel* lblPortState_ = nullptr;
    QLabel* lblOffline_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    PortSettingsFrame* framePortSettings_ = nullptr;
    PortCountersFrame* framePortCounters_ = nullptr;
    ConnectionList* frameConnections_ = nullptr;
    QScrollArea* scrollArea_ = nullptr;
    StatusLine* statusLine_ = nullptr;
    QTimer refreshTimer_;
    QTimer countdownTimer_;
    QPointer<SettingsWindow> settingsWindow_;
    QString iconName_;
    int shownPort_ = -1;  // the position whose data the frames hold
    std::map<int, PortState> portStates_;
    std::map<int, int> connectionCounts_;
    bool exiting_ = false;
    std::function<void()> sendToTray_;
    std::function<void()> trayOpen_;
    std::function<void(QCloseEvent*)> closeHandler_;
    std::function<void()> quit_;
    // Last: goes first, while the client its windows talk through still exists.
    std::unique_ptr<WindowFrame> frame_;
};

}  // namespace tolvan
