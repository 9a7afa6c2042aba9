#include "configurator/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include "configurator/ByteText.h"
#include "configurator/ConnectionList.h"
#include "configurator/Icons.h"
#include "configurator/PortCountersFrame.h"
#include "configurator/PortSettingsFrame.h"
#include "configurator/ServerSettings.h"
#include "configurator/SettingsWindow.h"
#include "configurator/StartupStyle.h"
#include "configurator/WindowFrame.h"
#include "console_protocol/Messages.h"
#include "console_protocol/TextForms.h"

namespace tolvan {
namespace {

// Room kept free below the window on a small screen (800 twips).
constexpr int kScreenMargin = 53;
constexpr int kTopBarHeight = 5;

void RetainSizeWhenHidden(QWidget* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

QAction* AddAction(QMenu* menu, const char* name, const QString& caption,
                   const QKeySequence& shortcut = {}) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(shortcut);
    return action;
}

}  // namespace

MainWindow::MainWindow(ServerSettings& settings, QWidget* parent)
    : QMainWindow(parent), settings_(settings), client_(settings, this) {
    setObjectName(QStringLiteral("F1"));
    setWindowTitle(QStringLiteral("Server Settings"));
    BuildMenus();
    setCentralWidget(BuildContent());
    SetIcon(QStringLiteral("ICONX"));
    FitToScreen();

    connect(&client_, &ConsoleClient::ServerConnected, this, [this] {
        SetIcon(QStringLiteral("ICONIDLE"));
        refusal_.clear();
        lblPortState_->clear();
    });
    connect(&client_, &ConsoleClient::ConsoleRefused, this,
            [this](const std::string& reason, const std::string& text) {
                refusal_ = FromBytes(console::DescribeRefusal(reason, text));
                lblPortState_->setText(refusal_);
            });
    connect(&client_, &ConsoleClient::PortStateReport, this, &MainWindow::ShowPortState);
    connect(&client_, &ConsoleClient::ServerDisconnected, this, &MainWindow::ServerConnectionLost);
    connect(&client_, &ConsoleClient::PortListReport, this, &MainWindow::ShowPortList);
    connect(&client_, &ConsoleClient::PortSettingsReport, this, &MainWindow::ShowPortSettings);
    connect(&client_, &ConsoleClient::PortStatisticsReport, this, &MainWindow::ShowPortStatistics);
    connect(&client_, &ConsoleClient::ConnectionListReport, this, &MainWindow::ShowConnectionList);
    connect(&client_, &ConsoleClient::ConnectionCountNotice, this,
            &MainWindow::ShowConnectionCount);
    client_.SetExitHandler([this] { Quit(); });
    frame_ = std::make_unique<WindowFrame>(*this);
}

MainWindow::~MainWindow() {
    // The client outlives the members its handlers use; nothing it says may reach them now.
    disconnect(&client_, nullptr, this, nullptr);
}

void MainWindow::BuildMenus() {
    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    AddAction(mnuFile, "mnuTracEwINDOW", QStringLiteral("&Trace Window"),
              QKeySequence(Qt::CTRL | Qt::Key_T));
    QAction* toTray = AddAction(mnuFile, "mnuSendToTray", QStringLiteral("&Minimize To Tray"),
                                QKeySequence(Qt::CTRL | Qt::Key_M));
    QAction* settingsAction = AddAction(mnuFile, "mnuSettings", QStringLiteral("&Settings"));
    QMenu* tools = mnuFile->addMenu(QStringLiteral("S&ystem Tools"));
    tools->setObjectName(QStringLiteral("mnuSystemTools"));
    tools->menuAction()->setObjectName(QStringLiteral("mnuSystemTools"));
    AddAction(tools, "mnuEventViewer", QStringLiteral("&Event Viewer"));
    AddAction(tools, "mnuServices", QStringLiteral("&Services"));
    QAction* exitAction = AddAction(mnuFile, "mnuExit", QStringLiteral("&Exit"));

    QMenu* mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    AddAction(mnuHelp, "mnuHelpHelp", QStringLiteral("&Help"));
    AddAction(mnuHelp, "mnuAbout", QStringLiteral("&About"));

    connect(toTray, &QAction::triggered, this, &MainWindow::SendToTray);
    connect(settingsAction, &QAction::triggered, this, &MainWindow::OpenSettingsWindow);
    connect(exitAction, &QAction::triggered, this, &MainWindow::Exit);
}

QWidget* MainWindow::BuildContent() {
    auto* frameContainer = new QWidget;
    frameContainer->setObjectName(QStringLiteral("frameContainer"));

    lstPort_ = new QComboBox(frameContainer);
    lstPort_->setObjectName(QStringLiteral("lstPort"));
    lstPort_->setMinimumContentsLength(6);
    auto* portLabel = new QLabel(QStringLiteral("Port Number"), frameContainer);
    portLabel->setBuddy(lstPort_);
    lblPortState_ = new QLabel(frameContainer);
    lblPortState_->setObjectName(QStringLiteral("lblPortState"));
    cmdTrace_ = new QPushButton(QStringLiteral("Trace Window"), frameContainer);
    cmdTrace_->setObjectName(QStringLiteral("cmdTrace"));

    framePortSettings_ = new PortSettingsFrame(frameContainer);
    framePortCounters_ = new PortCountersFrame(frameContainer);
    frameConnections_ = new ConnectionList(frameContainer);
    for (QWidget* frame : std::initializer_list<QWidget*>{framePortSettings_, framePortCounters_,
                                                          frameConnections_}) {
        RetainSizeWhenHidden(frame);
    }
    HidePortFrames();

    auto* portRow = new QHBoxLayout;
    portRow->addWidget(portLabel);
    portRow->addWidget(lstPort_);
    portRow->addWidget(lblPortState_);
    portRow->addStretch();
    portRow->addWidget(cmdTrace_);

    auto* frames = new QGridLayout;
    frames->addWidget(framePortSettings_, 0, 0);
    frames->addWidget(frameConnections_, 1, 0);
    frames->addWidget(framePortCounters_, 0, 1, 2, 1);

    auto* content = new QVBoxLayout(frameContainer);
    content->setSizeConstraint(QLayout::SetFixedSize);
    content->addLayout(portRow);
    content->addLayout(frames);

    scrollArea_ = new QScrollArea;
    scrollArea_->setObjectName(QStringLiteral("scrollContainer"));
    scrollArea_->setFrameShape(QFrame::NoFrame);
    scrollArea_->setAlignment(Qt::AlignCenter);
    scrollArea_->setWidget(frameContainer);

    auto* frameTop = new QFrame;
    frameTop->setObjectName(QStringLiteral("frameTop"));
    frameTop->setFixedHeight(kTopBarHeight);
    auto* lineTop = new QFrame(frameTop);
    lineTop->setObjectName(QStringLiteral("LineTop"));
    lineTop->setFrameShape(QFrame::HLine);
    lineTop->setFrameShadow(QFrame::Sunken);
    auto* topLayout = new QVBoxLayout(frameTop);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addWidget(lineTop);

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(frameTop);
    layout->addWidget(scrollArea_);

    connect(lstPort_, &QComboBox::activated, this, &MainWindow::SelectPort);
    connect(cmdTrace_, &QPushButton::clicked, this, [this] {
        if (QAction* trace = MenuAction(QStringLiteral("mnuTracEwINDOW"))) {
            trace->trigger();
        }
    });
    connect(framePortSettings_, &PortSettingsFrame::UpdateClicked, this,
            &MainWindow::OnUpdateClicked);
    connect(framePortCounters_, &PortCountersFrame::RefreshClicked, this, [this] {
        framePortCounters_->setEnabled(false);
        client_.SendStatisticsRequest(SelectedPort());
    });
    connect(framePortCounters_, &PortCountersFrame::ClearClicked, this, [this] {
        framePortCounters_->setEnabled(false);
        client_.SendStatisticsReset(SelectedPort());
    });
    connect(frameConnections_, &ConnectionList::HintClicked, this, [this] {
        if (SelectedPort() >= 0) {
            client_.SendConnectionListRequest(std::to_string(SelectedPort()));
        }
    });
    connect(frameConnections_, &ConnectionList::DisconnectRequested, this,
            [this](int connNo) { client_.SendDisconnectRequest(SelectedPort(), connNo); });
    return central;
}

void MainWindow::FitToScreen() {
    const QSize content =
        centralWidget()->findChild<QWidget*>(QStringLiteral("frameContainer"))->sizeHint();
    resize(content.width() + 24, content.height() + menuBar()->sizeHint().height() + 24);
    const QScreen* screen = this->screen();
    if (screen == nullptr) {
        return;
    }
    const QRect available = screen->availableGeometry();
    if (width() > available.width()) {
        resize(available.width(), height());
    }
    if (height() + kScreenMargin >= available.height()) {
        resize(width(), available.height() - kScreenMargin);
    }
}

QAction* MainWindow::MenuAction(const QString& name) const {
    return findChild<QAction*>(name);
}

QStringList MainWindow::PortTexts() const {
    QStringList texts;
    for (int i = 0; i < lstPort_->count(); ++i) {
        texts << lstPort_->itemText(i);
    }
    return texts;
}

int MainWindow::SelectedPort() const {
    return lstPort_->currentIndex();
}

bool MainWindow::IsSelectedPort(const ReportFields& fields) const {
    return !fields.empty() && SelectedPort() >= 0 &&
           console::LeadingNumber(fields[0]) == SelectedPort();
}

void MainWindow::HidePortFrames() {
    lblPortState_->clear();
    framePortSettings_->hide();
    framePortCounters_->hide();
    frameConnections_->hide();
}

void MainWindow::SetIcon(const QString& name) {
    iconName_ = name;
    setProperty("iconName", name);
    setWindowIcon(TolvanIcon(name));
    Q_EMIT IconChanged(name);
}

void MainWindow::Start(const QStringList& arguments) {
    switch (StartupStyleFor(arguments, settings_)) {
        case StartupStyle::kMinimized:
            showMinimized();
            break;
        case StartupStyle::kTray:
            show();
            SendToTray();
            break;
        case StartupStyle::kNormal:
            show();
            break;
    }
    client_.ConnectToServer();
}

void MainWindow::ShowPortList(const ReportFields& fields) {
    lstPort_->clear();
    HidePortFrames();
    for (std::size_t i = 1; i < fields.size(); ++i) {
        lstPort_->addItem(QStringLiteral("Com") + FromBytes(fields[i]));
    }
    if (lstPort_->count() > 0) {
        lstPort_->setCurrentIndex(0);
        SelectPort();
    }
}

void MainWindow::SelectPort() {
    HidePortFrames();
    const int port = SelectedPort();
    if (port < 0) {
        return;
    }
    client_.SendPortSettingsRequest(port);
    client_.SendStatisticsRequest(port);
    client_.SendConnectionListRequest(std::to_string(port));
}

void MainWindow::ShowPortSettings(const ReportFields& fields) {
    if (IsSelectedPort(fields)) {
        framePortSettings_->ShowPortSettings(fields);
        // The settings may have changed how the port is doing.
        client_.SendPortStateRequest(SelectedPort());
    }
}

void MainWindow::ShowPortState(const ReportFields& fields) {
    if (IsSelectedPort(fields) &&
        fields.size() == static_cast<std::size_t>(console::kPortStateFieldCount)) {
        lblPortState_->setText(
            FromBytes(console::DescribePortState(fields[1], fields[2], fields[3])));
    }
}

void MainWindow::ShowPortStatistics(const ReportFields& fields) {
    if (IsSelectedPort(fields)) {
        framePortCounters_->ShowPortStatistics(fields);
    }
}

void MainWindow::ShowConnectionList(const ReportFields& fields) {
    if (IsSelectedPort(fields)) {
        frameConnections_->ShowConnectionList(fields);
    }
}

void MainWindow::ShowConnectionCount(const ReportFields& fields) {
    const long long total = fields.size() > 1 ? console::LeadingNumber(fields[1]) : 0;
    SetIcon(ConnectionCountIconName(total));
    if (IsSelectedPort(fields)) {
        client_.SendConnectionListRequest(std::to_string(SelectedPort()));
    }
}

void MainWindow::ServerConnectionLost() {
    Q_EMIT ConnectionLosing();
    client_.Close();
    SetIcon(QStringLiteral("ICONX"));
    lstPort_->clear();
    HidePortFrames();
    lblPortState_->setText(refusal_);
}

void MainWindow::OnUpdateClicked() {
    const int port = SelectedPort();
    if (port < 0) {
        return;
    }
    framePortSettings_->setEnabled(false);
    client_.SendSettingsUpdate(
        framePortSettings_->SettingsUpdatePayload(port, lstPort_->currentText()));
}

void MainWindow::SendToTray() {
    if (sendToTray_) {
        sendToTray_();
    } else {
        showMinimized();
    }
}

void MainWindow::TrayOpen() {
    if (trayOpen_) {
        trayOpen_();
        return;
    }
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::OpenSettingsWindow() {
    if (settingsWindow_ == nullptr) {
        settingsWindow_ = new SettingsWindow(settings_, this);
    }
    settingsWindow_->show();
    settingsWindow_->raise();
    settingsWindow_->activateWindow();
}

SettingsWindow* MainWindow::OpenedSettingsWindow() const {
    return settingsWindow_;
}

void MainWindow::CloseSettingsWindow() {
    if (settingsWindow_ != nullptr) {
        settingsWindow_->close();
    }
}

void MainWindow::Exit() {
    ServerConnectionLost();
    Q_EMIT ClosingWindows();
    CloseSettingsWindow();
    Quit();
}

void MainWindow::Quit() {
    if (quit_) {
        quit_();
    } else {
        QCoreApplication::quit();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (closeHandler_) {
        closeHandler_(event);
        return;
    }
    event->accept();
    Exit();
}

}  // namespace tolvan
