#include "configurator/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "configurator/ByteText.h"
#include "configurator/ConnectionList.h"
#include "configurator/Icons.h"
#include "configurator/PortCountersFrame.h"
#include "configurator/PortSettingsFrame.h"
#include "configurator/ServerSettings.h"
#include "configurator/SettingsWindow.h"
#include "configurator/StartupStyle.h"
#include "configurator/StatusLine.h"
#include "configurator/StoredOnlySettings.h"
#include "configurator/WindowFrame.h"
#include "console_protocol/Messages.h"
#include "console_protocol/TextForms.h"

namespace tolvan {
namespace {

constexpr int kCountdownInterval = 1000;

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

QString Plural(int count, const char* one) {
    return QString::number(count) + u' ' + QString::fromLatin1(one) +
           (count == 1 ? QString() : QStringLiteral("s"));
}

}  // namespace

MainWindow::MainWindow(ServerSettings& settings, QWidget* parent)
    : QMainWindow(parent),
      settings_(settings),
      client_(settings, this),
      service_(this),
      ask_(AskWithMessageBox) {
    setObjectName(QStringLiteral("F1"));
    setWindowTitle(QStringLiteral("Tolvan Server Configuration"));
    BuildMenus();
    setCentralWidget(BuildContent());
    statusLine_ = new StatusLine;
    statusBar()->addWidget(statusLine_, 1);
    statusBar()->setSizeGripEnabled(true);
    SetIcon(QStringLiteral("ICONX"));
    SetTabOrder();
    FitToScreen();

    connect(&client_, &ConsoleClient::ServerConnected, this, [this] {
        SetIcon(QStringLiteral("ICONIDLE"));
        statusLine_->ShowConnecting(client_.Address());
    });
    connect(&client_, &ConsoleClient::ServerAnswered, this, &MainWindow::ShowConnectionState);
    connect(&client_, &ConsoleClient::ServerDisconnected, this, &MainWindow::ServerConnectionLost);
    connect(&client_, &ConsoleClient::PortListReport, this, &MainWindow::ShowPortList);
    connect(&client_, &ConsoleClient::PortSettingsReport, this, &MainWindow::ShowPortSettings);
    connect(&client_, &ConsoleClient::PortStatisticsReport, this, &MainWindow::ShowPortStatistics);
    connect(&client_, &ConsoleClient::ConnectionListReport, this, &MainWindow::ShowConnectionList);
    connect(&client_, &ConsoleClient::ConnectionCountNotice, this,
            &MainWindow::ShowConnectionCount);
    connect(&client_, &ConsoleClient::PortStateReport, this, &MainWindow::ShowPortState);
    client_.SetExitHandler([this] { Quit(); });

    connect(&service_, &ServiceControl::StateChanged, this, [this] {
        if (!client_.IsConnected()) {
            ShowNotConnected();
        }
    });
    connect(&service_, &ServiceControl::BusyChanged, statusLine_, &StatusLine::SetStarting);
    connect(&service_, &ServiceControl::Finished, this,
            [this](ServiceControl::Action action, bool ok, const QString& message) {
                statusLine_->ShowResult(message, ok);
                if (ok && action != ServiceControl::Action::Stop && !client_.IsConnected()) {
                    client_.ConnectToServer();
                }
            });
    connect(statusLine_, &StatusLine::StartServiceClicked, this,
            [this] { service_.Run(ServiceControl::Action::Start); });
    connect(statusLine_, &StatusLine::RetryClicked, this, [this] {
        client_.ConnectToServer();
        statusLine_->ShowConnecting(client_.Address());
    });

    refreshTimer_.setObjectName(QStringLiteral("refreshTimer"));
    refreshTimer_.setParent(this);
    refreshTimer_.setInterval(kRefreshInterval);
    connect(&refreshTimer_, &QTimer::timeout, this, &MainWindow::OnRefreshTick);
    refreshTimer_.start();
    countdownTimer_.setInterval(kCountdownInterval);
    connect(&countdownTimer_, &QTimer::timeout, this,
            [this] { statusLine_->ShowNextTry(client_.NextAttemptIn()); });
    countdownTimer_.start();
    frame_ = std::make_unique<WindowFrame>(*this);
}

MainWindow::~MainWindow() {
    // The client outlives the members its handlers use; nothing it says may reach them now.
    disconnect(&client_, nullptr, this, nullptr);
    disconnect(&service_, nullptr, this, nullptr);
}

void MainWindow::BuildMenus() {
    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    AddAction(mnuFile, "mnuTracEwINDOW", QStringLiteral("&Trace Window"),
              QKeySequence(Qt::CTRL | Qt::Key_T));
    QAction* toTray = AddAction(mnuFile, "mnuSendToTray", QStringLiteral("&Minimize To Tray"),
                                QKeySequence(Qt::CTRL | Qt::Key_M));
    QAction* settingsAction = AddAction(mnuFile, "mnuSettings", QStringLiteral("&Settings..."));
    QMenu* tools = mnuFile->addMenu(QStringLiteral("S&ystem Tools"));
    tools->setObjectName(QStringLiteral("mnuSystemTools"));
    tools->menuAction()->setObjectName(QStringLiteral("mnuSystemTools"));
    AddAction(tools, "mnuEventViewer", QStringLiteral("&Event Viewer"));
    AddAction(tools, "mnuServices", QStringLiteral("&Services"));
    mnuFile->addSeparator();
    QAction* exitAction =
        AddAction(mnuFile, "mnuExit", QStringLiteral("&Exit"), QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    AddAction(mnuHelp, "mnuHelpHelp", QStringLiteral("&User's Manual"), QKeySequence::HelpContents);
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
    lstPort_->setMinimumContentsLength(22);
    auto* portLabel = new QLabel(QStringLiteral("&Port"), frameContainer);
    portLabel->setBuddy(lstPort_);
    lblPortState_ = new QLabel(frameContainer);
    lblPortState_->setObjectName(QStringLiteral("lblPortState"));
    lblPortState_->setTextFormat(Qt::PlainText);
    lblOffline_ = new QLabel(frameContainer);
    lblOffline_->setObjectName(QStringLiteral("lblOffline"));
    lblOffline_->setTextFormat(Qt::PlainText);
    lblOffline_->setWordWrap(true);
    lblOffline_->setAlignment(Qt::AlignCenter);
    QFont large = lblOffline_->font();
    large.setPointSizeF(large.pointSizeF() * 1.3);
    lblOffline_->setFont(large);

    framePortSettings_ = new PortSettingsFrame(frameContainer);
    framePortCounters_ = new PortCountersFrame(frameContainer);
    frameConnections_ = new ConnectionList(frameContainer);
    frameConnections_->SetAsk(ask_);
    for (QWidget* frame : std::initializer_list<QWidget*>{framePortSettings_, framePortCounters_,
                                                          frameConnections_}) {
        RetainSizeWhenHidden(frame);
    }
    HidePortFrames();

    auto* portRow = new QHBoxLayout;
    portRow->addWidget(portLabel);
    portRow->addWidget(lstPort_);
    portRow->addSpacing(12);
    portRow->addWidget(lblPortState_, 1);

    auto* frames = new QHBoxLayout;
    frames->addWidget(framePortSettings_, 3);
    frames->addWidget(framePortCounters_, 1);

    // The port's frames, or in their place why there are none.
    auto* portPage = new QWidget;
    auto* portLayout = new QVBoxLayout(portPage);
    portLayout->setContentsMargins(0, 0, 0, 0);
    portLayout->addLayout(frames, 3);
    portLayout->addWidget(frameConnections_, 2);
    pages_ = new QStackedWidget(frameContainer);
    pages_->addWidget(portPage);
    pages_->addWidget(lblOffline_);

    auto* content = new QVBoxLayout(frameContainer);
    content->addLayout(portRow);
    content->addWidget(pages_, 1);

    scrollArea_ = new QScrollArea;
    scrollArea_->setObjectName(QStringLiteral("scrollContainer"));
    scrollArea_->setFrameShape(QFrame::NoFrame);
    // The content grows with the window and scrolls only where the window is too small.
    scrollArea_->setWidgetResizable(true);
    scrollArea_->setFocusPolicy(Qt::NoFocus);
    scrollArea_->setWidget(frameContainer);

    connect(lstPort_, &QComboBox::activated, this, &MainWindow::OnPortChosen);
    connect(framePortSettings_, &PortSettingsFrame::UpdateClicked, this,
            &MainWindow::OnUpdateClicked);
    connect(
        framePortSettings_, &PortSettingsFrame::UpdateAnswered, this,
        [this](bool taken, const QString& message) { statusLine_->ShowResult(message, taken); });
    connect(framePortCounters_, &PortCountersFrame::ClearClicked, this, [this] {
        framePortCounters_->AwaitClear();
        client_.SendStatisticsReset(SelectedPort());
    });
    connect(frameConnections_, &ConnectionList::DisconnectRequested, this, [this](int connNo) {
        client_.SendDisconnectRequest(SelectedPort(), connNo);
        statusLine_->ShowResult(QStringLiteral("Connection %1 of %2 is being ended.")
                                    .arg(connNo)
                                    .arg(PortTexts().value(SelectedPort())),
                                true);
    });
    return scrollArea_;
}

void MainWindow::SetTabOrder() {
    // Top to bottom, left to right: the port, the settings, the counters, the connections.
    QList<QWidget*> order{lstPort_};
    order << framePortSettings_->KeyboardOrder();
    order << framePortCounters_->ClearButton() << frameConnections_->Table()
          << frameConnections_->DisconnectButton() << statusLine_->StartButton()
          << statusLine_->RetryButton();
    for (qsizetype i = 0; i + 1 < order.size(); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }
}

void MainWindow::FitToScreen() {
    // Room for the whole content where the screen has it; a smaller screen scrolls.
    const QSize content = scrollArea_->widget()->sizeHint();
    const QSize wanted(content.width() + 8, content.height() + menuBar()->sizeHint().height() +
                                                statusBar()->sizeHint().height() + 8);
    const QScreen* screen = this->screen();
    if (screen == nullptr) {
        resize(wanted);
        return;
    }
    const QRect available = screen->availableGeometry();
    resize(std::min(wanted.width(), available.width() * 9 / 10),
           std::min(wanted.height(), available.height() * 9 / 10));
}

QAction* MainWindow::MenuAction(const QString& name) const {
    return findChild<QAction*>(name);
}

QStringList MainWindow::PortTexts() const {
    QStringList texts;
    for (int i = 0; i < lstPort_->count(); ++i) {
        texts << QStringLiteral("COM") + QString::number(lstPort_->itemData(i).toInt());
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

void MainWindow::SetAsk(Ask ask) {
    ask_ = std::move(ask);
    frameConnections_->SetAsk(ask_);
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
    statusLine_->ShowConnecting(client_.Address());
}

void MainWindow::ShowConnectionState() {
    pages_->setCurrentIndex(0);
    statusLine_->ShowConnected(client_.Address());
    UpdateTrayToolTip();
}

void MainWindow::ShowNotConnected() {
    const ConsoleClient::Failure& failure = client_.LastFailure();
    const QString address = client_.Address();
    QString reason;
    bool offerStart = false;
    if (failure.refusal == "not-permitted") {
        reason = QStringLiteral(
            "the server does not let this user use its console. Only root and the members of "
            "its console group may; after being added to the group, log in again.");
    } else if (failure.refusal == "full") {
        reason =
            QStringLiteral("the server's console is full: it serves four configurators at a time.");
    } else if (!failure.refusal.empty()) {
        reason =
            QStringLiteral("the server refused the console (%1).").arg(FromBytes(failure.refusal));
    } else if (failure.error == QAbstractSocket::ConnectionRefusedError) {
        const QString state = service_.State();
        if (state == QStringLiteral("active")) {
            reason = QStringLiteral(
                         "nothing answers at %1 although the service runs. Do the server and "
                         "this program use the same base port?")
                         .arg(address);
        } else if (state == QStringLiteral("activating")) {
            reason = QStringLiteral("the Tolvan Server service is starting.");
        } else if (state.isEmpty()) {
            reason = QStringLiteral("nothing answers at %1. Is the Tolvan Server service running?")
                         .arg(address);
            offerStart = true;
        } else {
            reason = QStringLiteral("the Tolvan Server service is not running (%1).").arg(state);
            offerStart = true;
        }
    } else if (failure.error == QAbstractSocket::RemoteHostClosedError) {
        reason = QStringLiteral("the server closed the console connection.");
    } else if (failure.errorText.isEmpty()) {
        reason = QStringLiteral("the connection to %1 was closed.").arg(address);
    } else {
        reason = QStringLiteral("%1 cannot be reached: %2.").arg(address, failure.errorText);
    }
    if (!failure.refusalText.empty()) {
        reason += QStringLiteral(" The server says: \"%1\"").arg(FromBytes(failure.refusalText));
    }
    statusLine_->ShowNotConnected(reason, offerStart);
    statusLine_->ShowNextTry(client_.NextAttemptIn());
    QString sentence = reason;
    sentence[0] = sentence[0].toUpper();
    lblOffline_->setText(QStringLiteral("Not connected to the Tolvan Server.\n\n") + sentence);
    pages_->setCurrentWidget(lblOffline_);
}

void MainWindow::ShowPortList(const ReportFields& fields) {
    // After a reconnection the port shown before is shown again, its unsent changes kept.
    const int shownNumber = framePortSettings_->PortNumber();
    lstPort_->clear();
    HidePortFrames();
    shownPort_ = -1;
    portStates_.clear();
    connectionCounts_.clear();
    int select = 0;
    for (std::size_t i = 1; i < fields.size(); ++i) {
        const int number = static_cast<int>(console::LeadingNumber(fields[i]));
        if (number == shownNumber) {
            select = lstPort_->count();
        }
        lstPort_->addItem(QStringLiteral("COM") + QString::number(number), number);
    }
    if (lstPort_->count() > 0) {
        lstPort_->setCurrentIndex(select);
        SelectPort();
    }
    UpdateTrayToolTip();
}

void MainWindow::OnPortChosen(int index) {
    if (index == shownPort_) {
        return;
    }
    const QString port = PortTexts().value(index);
    if (!MayDropChanges(QStringLiteral("show %1").arg(port))) {
        lstPort_->setCurrentIndex(shownPort_);
        return;
    }
    SelectPort();
}

bool MainWindow::MayDropChanges(const QString& doing) {
    if (!framePortSettings_->HasChanges()) {
        return true;
    }
    const QString text =
        QStringLiteral(
            "The changes to COM%1 (%2) have not been sent to the server.\n\n"
            "Drop them and %3?")
            .arg(framePortSettings_->PortNumber())
            .arg(framePortSettings_->ChangedCaptions().join(QStringLiteral(", ")), doing);
    return ask_ && ask_(this, QStringLiteral("Unsent Changes"), text,
                        QMessageBox::Discard | QMessageBox::Cancel,
                        QMessageBox::Cancel) == QMessageBox::Discard;
}

void MainWindow::SelectPort() {
    HidePortFrames();
    const int port = SelectedPort();
    shownPort_ = port;
    if (port < 0) {
        return;
    }
    if (lstPort_->itemData(port).toInt() != framePortSettings_->PortNumber()) {
        framePortSettings_->Forget();
    }
    ShowSelectedPortState();
    client_.SendPortSettingsRequest(port);
    client_.SendStatisticsRequest(port);
    client_.SendConnectionListRequest(port);
    client_.SendPortStateRequest(port);
}

void MainWindow::ShowPortSettings(const ReportFields& fields) {
    if (IsSelectedPort(fields)) {
        framePortSettings_->ShowPortSettings(fields);
        framePortSettings_->ShowStoredOnly(
            StoredOnlySettings(settings_, framePortSettings_->PortNumber()));
    }
}

void MainWindow::ShowPortStatistics(const ReportFields& fields) {
    if (IsSelectedPort(fields)) {
        framePortCounters_->ShowPortStatistics(fields);
    }
}

void MainWindow::ShowConnectionList(const ReportFields& fields) {
    if (fields.empty()) {
        return;
    }
    const int port = static_cast<int>(console::LeadingNumber(fields[0]));
    if (port >= 0 && port < lstPort_->count()) {
        connectionCounts_[port] = ConnectionList::ConnectionCount(fields);
        UpdateTrayToolTip();
    }
    if (IsSelectedPort(fields)) {
        frameConnections_->ShowConnectionList(fields, lstPort_->itemData(port).toInt());
    }
}

void MainWindow::ShowConnectionCount(const ReportFields& fields) {
    const long long total = fields.size() > 1 ? console::LeadingNumber(fields[1]) : 0;
    SetIcon(ConnectionCountIconName(total));
    const long long port = fields.empty() ? -1 : console::LeadingNumber(fields[0]);
    if (port == console::kCountAfterPortList) {
        // The counts of every port, for the notification area's tip.
        RequestConnectionLists(-1);
    } else if (port >= 0 && port < lstPort_->count()) {
        RequestConnectionLists(static_cast<int>(port));
    }
}

void MainWindow::RequestConnectionLists(int port) {
    if (port >= 0) {
        client_.SendConnectionListRequest(port);
        return;
    }
    for (int i = 0; i < lstPort_->count(); ++i) {
        client_.SendConnectionListRequest(i);
    }
}

void MainWindow::ShowPortState(const ReportFields& fields) {
    if (fields.empty()) {
        return;
    }
    const int port = static_cast<int>(console::LeadingNumber(fields[0]));
    if (port < 0 || port >= lstPort_->count()) {
        return;
    }
    const PortState state = PortStateFrom(fields);
    portStates_[port] = state;
    lstPort_->setItemText(
        port, PortTexts().value(port) + QStringLiteral(" (") + PortStateWord(state) + u')');
    if (port == SelectedPort()) {
        ShowSelectedPortState();
    }
}

void MainWindow::ShowSelectedPortState() {
    const auto found = portStates_.find(SelectedPort());
    lblPortState_->setText(found == portStates_.end() ? QString()
                                                      : PortStateSentence(found->second));
}

void MainWindow::OnRefreshTick() {
    // Only for an operator who can see them; a window in the tray asks for nothing.
    if (!isVisible() || isMinimized() || !client_.IsConnected()) {
        return;
    }
    if (SelectedPort() >= 0) {
        client_.SendStatisticsRequest(SelectedPort());
    }
    client_.SendPortStateRequest(-1);
}

QString MainWindow::TrayToolTip() const {
    if (!client_.IsConnected()) {
        return QStringLiteral("Tolvan Server: not connected");
    }
    QStringList ports;
    int total = 0;
    const QStringList names = PortTexts();
    for (const auto& [port, count] : connectionCounts_) {
        if (count > 0 && port < names.size()) {
            ports << names[port] + QStringLiteral(": ") + Plural(count, "connection");
            total += count;
        }
    }
    if (total == 0) {
        return QStringLiteral("Tolvan Server: no connections");
    }
    return QStringLiteral("Tolvan Server: ") + Plural(total, "connection") + u'\n' +
           ports.join(u'\n');
}

void MainWindow::UpdateTrayToolTip() {
    Q_EMIT TrayToolTipChanged(TrayToolTip());
}

void MainWindow::ServerConnectionLost() {
    Q_EMIT ConnectionLosing();
    client_.Close();
    SetIcon(QStringLiteral("ICONX"));
    lstPort_->clear();
    lblPortState_->clear();
    shownPort_ = -1;
    HidePortFrames();
    portStates_.clear();
    connectionCounts_.clear();
    UpdateTrayToolTip();
    if (!exiting_) {
        ShowNotConnected();
        if (client_.LastFailure().error == QAbstractSocket::ConnectionRefusedError) {
            // Whether the service runs tells the operator what to do about it.
            service_.QueryState();
        }
    }
}

void MainWindow::OnUpdateClicked() {
    const int port = SelectedPort();
    if (port < 0) {
        return;
    }
    if (!framePortSettings_->Validate()) {
        statusLine_->ShowResult(
            QStringLiteral("Nothing was sent: correct the marked fields first."), false);
        return;
    }
    const std::vector<std::string> fields = framePortSettings_->UpdateFields(port);
    framePortSettings_->AwaitAnswer(fields);
    client_.SendSettingsUpdate(console::JoinFields(fields));
    statusLine_->ShowResult(
        QStringLiteral("Sending the settings of %1...").arg(PortTexts().value(port)), true);
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
        settingsWindow_ = new SettingsWindow(settings_, service_, this);
        settingsWindow_->SetAsk(ask_);
        connect(settingsWindow_, &SettingsWindow::Saved, statusLine_, &StatusLine::ShowResult);
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
    if (!MayDropChanges(QStringLiteral("exit"))) {
        return;
    }
    EndSession();
    Quit();
}

void MainWindow::EndSession() {
    exiting_ = true;
    ServerConnectionLost();
    Q_EMIT ClosingWindows();
    CloseSettingsWindow();
}

void MainWindow::Quit() {
    if (quit_) {
        quit_();
    } else {
        // Not quit(): that asks every window to close first, and this one goes to the tray.
        QCoreApplication::exit(0);
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (exiting_) {
        event->accept();
        return;
    }
    if (closeHandler_) {
        closeHandler_(event);
        return;
    }
    Exit();
    event->setAccepted(exiting_);
}

}  // namespace tolvan
