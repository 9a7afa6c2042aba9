#include "configurator/TrayIcon.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

namespace tolvan {
namespace {

const QString kTip = QStringLiteral("Tolvan Server");

QAction* AddNamedAction(QMenu& menu, const QString& name, const QString& caption) {
    QAction* action = menu.addAction(caption);
    action->setObjectName(name);
    return action;
}

}  // namespace

TrayIcon::TrayIcon(QObject* parent)
    : QObject(parent), mnuTrayMenu_(new QMenu), tray_(new QSystemTrayIcon(this)) {
    mnuTrayMenu_->setObjectName(QStringLiteral("mnuTrayMenu"));
    mnuTrayMenu_->setTitle(QStringLiteral("TrayMenu"));
    QAction* open =
        AddNamedAction(*mnuTrayMenu_, QStringLiteral("mnuTrayOpen"), QStringLiteral("&Open"));
    QFont bold = open->font();
    bold.setBold(true);
    open->setFont(bold);
    mnuTrayMenu_->setDefaultAction(open);
    QAction* about =
        AddNamedAction(*mnuTrayMenu_, QStringLiteral("mnuTrayAbout"), QStringLiteral("&About"));
    QAction* exit =
        AddNamedAction(*mnuTrayMenu_, QStringLiteral("mnuTrayExit"), QStringLiteral("&Exit"));

    connect(open, &QAction::triggered, this, &TrayIcon::openRequested);
    connect(about, &QAction::triggered, this, &TrayIcon::aboutRequested);
    connect(exit, &QAction::triggered, this, &TrayIcon::exitRequested);

    tray_->setToolTip(kTip);
    tray_->setContextMenu(mnuTrayMenu_);
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) {
                    Q_EMIT openRequested();
                }
            });
}

TrayIcon::~TrayIcon() {
    delete tray_;
    tray_ = nullptr;
    delete mnuTrayMenu_;
}

bool TrayIcon::Available() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::SetIcon(const QIcon& icon) {
    tray_->setIcon(icon);
}

void TrayIcon::SetToolTip(const QString& tip) {
    tray_->setToolTip(tip);
}

void TrayIcon::Show() {
    tray_->show();
}

void TrayIcon::Hide() {
    tray_->hide();
}

bool TrayIcon::IsVisible() const {
    return tray_->isVisible();
}

void TrayIcon::SendToTray(QWidget& window) {
    SendToTray(window, Available());
}

void TrayIcon::SendToTray(QWidget& window, bool trayAvailable) {
    if (!trayAvailable) {
        window.showMinimized();
        return;
    }
    SetIcon(window.windowIcon());
    Show();
    window.hide();
}

void TrayIcon::Open(QWidget& window) {
    Hide();
    window.showNormal();
    window.raise();
    window.activateWindow();
}

}  // namespace tolvan
