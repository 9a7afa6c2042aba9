#include "configurator/SettingsWindow.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "configurator/ByteText.h"
#include "configurator/Icons.h"
#include "configurator/ServerSettings.h"
#include "console_protocol/TextForms.h"

namespace tolvan {
namespace {

constexpr const char* kSection = "Settings";
// COM16 listens on the base port + 16.
constexpr int kHighestBasePort = 65535 - 16;

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    return button;
}

QLabel* MessageLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->hide();
    return label;
}

void ShowMessage(QLabel* label, const QString& text, bool ok) {
    label->setText(text);
    label->setVisible(!text.isEmpty());
    label->setStyleSheet(ok ? QString() : QStringLiteral("color: #b00000;"));
}

QString StateText(const QString& state) {
    if (state == QStringLiteral("active")) {
        return QStringLiteral("running (active)");
    }
    if (state == QStringLiteral("inactive")) {
        return QStringLiteral("stopped (inactive)");
    }
    if (state == QStringLiteral("activating")) {
        return QStringLiteral("starting (activating)");
    }
    if (state == QStringLiteral("deactivating")) {
        return QStringLiteral("stopping (deactivating)");
    }
    if (state.isEmpty()) {
        return QStringLiteral("not known (systemctl gave no answer)");
    }
    return state;
}

}  // namespace

QString BasePortProblem(const QString& text) {
    bool number = false;
    const int port = text.trimmed().toInt(&number);
    if (!number || port < 1 || port > kHighestBasePort) {
        return QStringLiteral("Enter a port from 1 to %1: COM16 is reached at this port + 16.")
            .arg(kHighestBasePort);
    }
    return {};
}

SettingsWindow::SettingsWindow(ServerSettings& settings, ServiceControl& service, QWidget* owner,
                               Autostart autostart, QString executablePath)
    : QWidget(owner, Qt::Window),
      settings_(settings),
      service_(service),
      autostart_(std::move(autostart)),
      executablePath_(executablePath.isEmpty() ? QCoreApplication::applicationFilePath()
                                               : std::move(executablePath)),
      ask_(AskWithMessageBox),
      lblServiceState_(new QLabel(this)),
      cmdStart_(MakeButton(this, "cmdServiceStart", QStringLiteral("&Start"))),
      cmdStop_(MakeButton(this, "cmdServiceStop", QStringLiteral("S&top..."))),
      cmdRestart_(MakeButton(this, "cmdServiceRestart", QStringLiteral("&Restart"))),
      lblServiceResult_(MessageLabel(this, "lblServiceResult")),
      txtBasePort_(new QLineEdit(this)),
      lblBasePortResult_(MessageLabel(this, "lblBasePortResult")),
      cmdServerUpdate_(MakeButton(this, "cmdServerUpdate", QStringLiteral("Save &port"))),
      chkLoadAtLogin_(new QCheckBox(QStringLiteral("Start this program when I &log in"), this)),
      frameStartupStyle_(new QGroupBox(QStringLiteral("Window at log-in"), this)),
      optStartUpType_(new QButtonGroup(this)),
      cmdConfigUpdate_(MakeButton(this, "cmdConfigUpdate", QStringLiteral("Sa&ve log-in start"))),
      lblConfigResult_(MessageLabel(this, "lblConfigResult")) {
    setObjectName(QStringLiteral("F3"));
    lblServiceState_->setObjectName(QStringLiteral("lblServiceState"));
    lblServiceState_->setWordWrap(true);
    setWindowTitle(QStringLiteral("Tolvan Server Settings"));
    setWindowIcon(TolvanIcon(QStringLiteral("ICONIDLE")));
    setAttribute(Qt::WA_DeleteOnClose);
    txtBasePort_->setObjectName(QStringLiteral("txtBasePort"));
    txtBasePort_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    txtBasePort_->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,5}")), txtBasePort_));
    chkLoadAtLogin_->setObjectName(QStringLiteral("chkLoadAtLogin"));
    frameStartupStyle_->setObjectName(QStringLiteral("frameStartupStyle"));
    BuildLayout();
    Load();

    connect(chkLoadAtLogin_, &QCheckBox::toggled, frameStartupStyle_, &QWidget::setVisible);
    connect(cmdConfigUpdate_, &QPushButton::clicked, this, &SettingsWindow::SaveLoginStart);
    connect(cmdServerUpdate_, &QPushButton::clicked, this, &SettingsWindow::SaveBasePort);
    connect(txtBasePort_, &QLineEdit::textEdited, this, &SettingsWindow::ValidateBasePort);
    connect(cmdStart_, &QPushButton::clicked, this,
            [this] { RunService(ServiceControl::Action::Start); });
    connect(cmdStop_, &QPushButton::clicked, this,
            [this] { RunService(ServiceControl::Action::Stop); });
    connect(cmdRestart_, &QPushButton::clicked, this,
            [this] { RunService(ServiceControl::Action::Restart); });
    connect(&service_, &ServiceControl::StateChanged, this, &SettingsWindow::ShowServiceState);
    connect(&service_, &ServiceControl::BusyChanged, this, &SettingsWindow::ShowServiceState);
    connect(&service_, &ServiceControl::Finished, this,
            [this](ServiceControl::Action, bool ok, const QString& message) {
                ShowMessage(lblServiceResult_, message, ok);
            });
    ShowServiceState();
    service_.QueryState();
}

void SettingsWindow::BuildLayout() {
    auto* service = new QGroupBox(QStringLiteral("Tolvan Server service"), this);
    service->setObjectName(QStringLiteral("Frame5"));
    auto* serviceButtons = new QHBoxLayout;
    serviceButtons->addWidget(lblServiceState_, 1);
    serviceButtons->addWidget(cmdStart_);
    serviceButtons->addWidget(cmdStop_);
    serviceButtons->addWidget(cmdRestart_);
    auto* serviceLayout = new QVBoxLayout(service);
    serviceLayout->addLayout(serviceButtons);
    serviceLayout->addWidget(lblServiceResult_);

    auto* server = new QGroupBox(QStringLiteral("Server"), this);
    server->setObjectName(QStringLiteral("Frame3"));
    auto* portLabel = new QLabel(QStringLiteral("&Base TCP port"), server);
    portLabel->setBuddy(txtBasePort_);
    auto* note = new QLabel(
        QStringLiteral("The console listens on 127.0.0.1 at this port, COM n at this port + n. "
                       "The service takes a new port when it is restarted."),
        server);
    note->setWordWrap(true);
    txtBasePort_->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000000000")));
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(portLabel);
    portRow->addWidget(txtBasePort_);
    portRow->addWidget(cmdServerUpdate_);
    portRow->addStretch(1);
    auto* serverLayout = new QVBoxLayout(server);
    serverLayout->addLayout(portRow);
    serverLayout->addWidget(lblBasePortResult_);
    serverLayout->addWidget(note);

    auto* styleLayout = new QVBoxLayout(frameStartupStyle_);
    const QStringList captions{QStringLiteral("&Normal window"),
                               QStringLiteral("&Minimized window"),
                               QStringLiteral("In the notification &area")};
    for (int i = 0; i < captions.size(); ++i) {
        auto* option = new QRadioButton(captions[i], frameStartupStyle_);
        option->setObjectName(QStringLiteral("optStartUpType_") + QString::number(i));
        optStartUpType_->addButton(option, i);
        styleLayout->addWidget(option);
    }

    auto* program = new QGroupBox(QStringLiteral("This program"), this);
    program->setObjectName(QStringLiteral("Frame2"));
    auto* configLayout = new QVBoxLayout(program);
    configLayout->addWidget(chkLoadAtLogin_);
    configLayout->addWidget(frameStartupStyle_);
    auto* configButtons = new QHBoxLayout;
    configButtons->addWidget(lblConfigResult_, 1);
    configButtons->addStretch();
    configButtons->addWidget(cmdConfigUpdate_);
    configLayout->addLayout(configButtons);

    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    close->setObjectName(QStringLiteral("cmdClose"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch(1);
    closeRow->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(service);
    layout->addWidget(server);
    layout->addWidget(program);
    layout->addStretch(1);
    layout->addLayout(closeRow);
    // Wrapped messages get the height they need.
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    setMinimumWidth(fontMetrics().averageCharWidth() * 70);
}

void SettingsWindow::Load() {
    const bool loadAtLogin = autostart_.Exists();
    chkLoadAtLogin_->setChecked(loadAtLogin);
    frameStartupStyle_->setVisible(loadAtLogin);

    const long long style =
        console::LeadingNumber(settings_.GetServerSetting(kSection, "ConfigStartupStyle", "0"));
    optStartUpType_->button(style == 1 || style == 2 ? static_cast<int>(style) : 0)
        ->setChecked(true);

    const long long basePort =
        console::LeadingNumber(settings_.GetServerSetting(kSection, "BaseTCPPort", "5000"));
    txtBasePort_->setText(QString::number(basePort));
}

void SettingsWindow::ShowServiceState() {
    const bool busy = service_.Busy();
    lblServiceState_->setText(
        QStringLiteral("State: ") +
        (busy ? QStringLiteral("carrying out the last command...") : StateText(service_.State())));
    for (QPushButton* button : {cmdStart_, cmdStop_, cmdRestart_}) {
        button->setEnabled(!busy);
    }
}

void SettingsWindow::RunService(ServiceControl::Action action) {
    if (action == ServiceControl::Action::Stop &&
        (!ask_ ||
         ask_(this, QStringLiteral("Stop the Service"),
              QStringLiteral("Stop the Tolvan Server service?\n\nEvery port stops serving its "
                             "clients until the service is started again."),
              QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)) {
        return;
    }
    ShowMessage(lblServiceResult_, QString(), true);
    service_.Run(action);
}

void SettingsWindow::ShowSaved(QLabel* label, const QString& message, bool ok) {
    ShowMessage(label, message, ok);
    Q_EMIT Saved(message, ok);
}

void SettingsWindow::SaveLoginStart() {
    const bool written =
        chkLoadAtLogin_->isChecked() ? autostart_.Write(executablePath_) : autostart_.Remove();
    const int chosen = optStartUpType_->checkedId();
    settings_.SaveServerSetting(kSection, "ConfigStartupStyle",
                                chosen == 1 ? "1" : (chosen == 2 ? "2" : "0"));
    if (!written) {
        ShowSaved(
            lblConfigResult_,
            QStringLiteral("The log-in entry %1 could not be written.").arg(autostart_.FilePath()),
            false);
        return;
    }
    ShowSaved(lblConfigResult_,
              chkLoadAtLogin_->isChecked()
                  ? QStringLiteral("Saved: this program starts when you log in.")
                  : QStringLiteral("Saved: this program does not start when you log in."),
              true);
}

void SettingsWindow::ValidateBasePort() {
    ShowMessage(lblBasePortResult_, BasePortProblem(txtBasePort_->text()), false);
}

void SettingsWindow::SaveBasePort() {
    const QString problem = BasePortProblem(txtBasePort_->text());
    if (!problem.isEmpty()) {
        ShowSaved(lblBasePortResult_, QStringLiteral("Not saved. ") + problem, false);
        return;
    }
    const std::string port = std::to_string(txtBasePort_->text().trimmed().toInt());
    settings_.SaveServerSetting(kSection, "BaseTCPPort", port);
    if (settings_.GetServerSetting(kSection, "BaseTCPPort", std::string()) != port) {
        ShowSaved(lblBasePortResult_,
                  QStringLiteral("Not saved: the store %1 could not be written.")
                      .arg(FromBytes(settings_.StorePath())),
                  false);
        return;
    }
    ShowSaved(lblBasePortResult_,
              QStringLiteral("Base port %1 saved. Restart the service for it to use the port.")
                  .arg(FromBytes(port)),
              true);
}

}  // namespace tolvan
