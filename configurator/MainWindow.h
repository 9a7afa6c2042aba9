#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

#include "configurator/ConsoleClient.h"

class QAction;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;

namespace tolvan {

class ConnectionList;
class PortCountersFrame;
class PortSettingsFrame;
class ServerSettings;
class SettingsWindow;
class WindowFrame;

// F1, "Server Settings": the port list, the selected port's settings, statistics and
// connections, all filled from the server's reports; changes leave as console requests.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(ServerSettings& settings, QWidget* parent = nullptr);
    ~MainWindow() override;

    ConsoleClient& Client() { return client_; }
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
    // The items of lstPort, in order.
    QStringList PortTexts() const;
    // Hides the port's frames and asks for its settings, statistics and connections.
    void SelectPort();

    void SetIcon(const QString& name);
    const QString& IconName() const { return iconName_; }

    // Operations the window frame supplies; until then the window minimises and restores.
    void SendToTray();
    void TrayOpen();
    void SetSendToTrayHandler(std::function<void()> handler) { sendToTray_ = std::move(handler); }
    void SetTrayOpenHandler(std::function<void()> handler) { trayOpen_ = std::move(handler); }
    // Replaces what the close box does (by default it exits).
    void SetCloseHandler(std::function<void(QCloseEvent*)> handler) {
        closeHandler_ = std::move(handler);
    }
    // What "the program ends" does; QCoreApplication::quit by default.
    void SetQuitHandler(std::function<void()> handler) { quit_ = std::move(handler); }

    // mnuExit: drops the connection, closes the other windows, ends the program.
    void Exit();
    // The program ends (through the quit handler).
    void Quit();
    void OpenSettingsWindow();
    void CloseSettingsWindow();
    SettingsWindow* OpenedSettingsWindow() const;

    // The menu items by name (mnuTracEwINDOW, mnuSendToTray, ...); nullptr for unknown names.
    QAction* MenuAction(const QString& name) const;

Q_SIGNALS:
    // The window icon changed; a tray icon shows the same picture.
    void IconChanged(const QString& name);
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
    void FitToScreen();
    void HidePortFrames();
    bool IsSelectedPort(const ReportFields& fields) const;
    void OnUpdateClicked();

    ServerSettings& settings_;
    ConsoleClient client_;
    QComboBox* lstPort_ = nullptr;
    QPushButton* cmdTrace_ = nullptr;
    QLabel* lblPortState_ = nullptr;
    // Why the server turned the last connection away; shown until a connection is served.
    QString refusal_;
    PortSettingsFrame* framePortSettings_ = nullptr;
    PortCountersFrame* framePortCounters_ = nullptr;
    ConnectionList* frameConnections_ = nullptr;
    QScrollArea* scrollArea_ = nullptr;
    QPointer<SettingsWindow> settingsWindow_;
    QString iconName_;
    std::function<void()> sendToTray_;
    std::function<void()> trayOpen_;
    std::function<void(QCloseEvent*)> closeHandler_;
    std::function<void()> quit_;
    // Last: goes first, while the client its windows talk through still exists.
    std::unique_ptr<WindowFrame> frame_;
};

}  // namespace tolvan
