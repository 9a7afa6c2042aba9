#pragma once

#include <QIcon>
#include <QObject>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace tolvan {

// The notification-area icon with its pop-up menu (mnuTrayMenu). It only shows itself and emits
// signals; the main window decides what they do.
//
// SendToTray: where a tray exists the icon is shown (with the window's current icon) and the
// window hidden; where none exists the window is minimised instead, so it can never be lost.
// mnuTrayOpen: the icon is removed and the window shown again.
class TrayIcon : public QObject {
    Q_OBJECT

public:
    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override;

    static bool Available();

    void SetIcon(const QIcon& icon);
    void SetToolTip(const QString& tip);
    void Show();
    void Hide();
    bool IsVisible() const;

    // Puts the window in the tray, or minimises it when there is no tray.
    void SendToTray(QWidget& window);
    void SendToTray(QWidget& window, bool trayAvailable);
    // Takes the icon away and brings the window back.
    void Open(QWidget& window);

    QMenu& Menu() { return *mnuTrayMenu_; }
    QSystemTrayIcon& SystemTrayIcon() { return *tray_; }

Q_SIGNALS:
    void openRequested();
    void aboutRequested();
    void exitRequested();

private:
    QMenu* mnuTrayMenu_ = nullptr;  // owned here: a context menu has no parent widget
    QSystemTrayIcon* tray_ = nullptr;
};

}  // namespace tolvan
