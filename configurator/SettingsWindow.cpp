#include "configurator/SettingsWindow.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
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

QPushButton* MakeButton(QWidget* parent, const char* name) {
    auto* button = new QPushButton(QStringLiteral("Update"), parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

}  // namespace

SettingsWindow::SettingsWindow(ServerSettings& settings, QWidget* owner, Autostart autostart,
                               ServiceControl serviceControl, QString executablePath)
    : QWidget(owner, Qt::Window),
      settings_(settings),
      autostart_(std::move(autostart)),
      serviceControl_(std::move(serviceControl)),
      executablePath_(executablePath.isEmpty() ? QCoreApplication::applicationFilePath()
                                               : std::move(executablePath)),
      lstServiceControl_(new QComboBox(this)),
      cmdServiceControl_(MakeButton(this, "cmdServiceControl")),
      txtBasePort_(new QLineEdit(this)),
      cmdServerUpdate_(MakeButton(this, "cmdServerUpdate")),
      chkLoadAtLogin_(new QCheckBox(QStringLiteral("Load At Login"), this)),
      frameStartupStyle_(new QGroupBox(QStringLiteral("Startup Style"), this)),
      optStartUpType_(new QButtonGroup(this)),
      cmdConfigUpdate_(MakeButton(this, "cmdConfigUpdate")) {
    setObjectName(QStringLiteral("F3"));
    setWindowTitle(QStringLiteral("System Config"));
    setWindowIcon(TolvanIcon(QStringLiteral("ICONIDLE")));
    setAttribute(Qt::WA_DeleteOnClose);
    lstServiceControl_->setObjectName(QStringLiteral("lstServiceControl"));
    txtBasePort_->setObjectName(QStringLiteral("txtBasePort"));
    txtBasePort_->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]*")), txtBasePort_));
    chkLoadAtLogin_->setObjectName(QStringLiteral("chkLoadAtLogin"));
    frameStartupStyle_->setObjectName(QStringLiteral("frameStartupStyle"));
    BuildLayout();
    Load();

    connect(chkLoadAtLogin_, &QCheckBox::toggled, frameStartupStyle_, &QWidget::setVisible);
    connect(cmdConfigUpdate_, &QPushButton::clicked, this, &SettingsWindow::UpdateConfig);
    connect(cmdServerUpdate_, &QPushButton::clicked, this, &SettingsWindow::UpdateServer);
    connect(cmdServiceControl_, &QPushButton::clicked, this, &SettingsWindow::UpdateService);
}

void SettingsWindow::BuildLayout() {
    auto* frame5 = new QGroupBox(QStringLiteral("Service Control"), this);
    frame5->setObjectName(QStringLiteral("Frame5"));
    auto* serviceRow = new QHBoxLayout(frame5);
    serviceRow->addWidget(lstServiceControl_, 1);
    serviceRow->addWidget(cmdServiceControl_);

    auto* frame3 = new QGroupBox(QStringLiteral("TolvanServer Settings"), this);
    frame3->setObjectName(QStringLiteral("Frame3"));
    auto* portRow = new QHBoxLayout(frame3);
    auto* portLabel = new QLabel(QStringLiteral("Base TCP Port"), frame3);
    portLabel->setBuddy(txtBasePort_);
    portRow->addWidget(portLabel);
    portRow->addWidget(txtBasePort_, 1);
    portRow->addWidget(cmdServerUpdate_);

    auto* styleLayout = new QVBoxLayout(frameStartupStyle_);
    const QStringList captions{QStringLiteral("Normal Window"), QStringLiteral("Minimized Window"),
                               QStringLiteral("In System Tray")};
    for (int i = 0; i < captions.size(); ++i) {
        auto* option = new QRadioButton(captions[i], frameStartupStyle_);
        option->setObjectName(QStringLiteral("optStartUpType_") + QString::number(i));
        optStartUpType_->addButton(option, i);
        styleLayout->addWidget(option);
    }

    auto* frame2 = new QGroupBox(QStringLiteral("TolvanServerConfig Settings"), this);
    frame2->setObjectName(QStringLiteral("Frame2"));
    auto* configLayout = new QVBoxLayout(frame2);
    configLayout->addWidget(chkLoadAtLogin_);
    configLayout->addWidget(frameStartupStyle_);
    auto* configButtons = new QHBoxLayout;
    configButtons->addStretch();
    configButtons->addWidget(cmdConfigUpdate_);
    configLayout->addLayout(configButtons);

    auto* label2 = new QLabel(
        QStringLiteral("Server changes may require the TolvanService  be re-started."), this);
    label2->setObjectName(QStringLiteral("Label2"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame5);
    layout->addWidget(frame3);
    layout->addWidget(frame2);
    layout->addWidget(label2);
    layout->addStretch();
    layout->setSizeConstraint(QLayout::SetMinimumSize);
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

    lstServiceControl_->clear();
    lstServiceControl_->addItems(
        {QStringLiteral("Restart"), QStringLiteral("Start"), QStringLiteral("Stop")});
    lstServiceControl_->setCurrentIndex(ServiceControl::kRestart);
}

void SettingsWindow::UpdateConfig() {
    if (chkLoadAtLogin_->isChecked()) {
        autostart_.Write(executablePath_);
    } else {
        autostart_.Remove();
    }
    const int chosen = optStartUpType_->checkedId();
    settings_.SaveServerSetting(kSection, "ConfigStartupStyle",
                                chosen == 1 ? "1" : (chosen == 2 ? "2" : "0"));
}

void SettingsWindow::UpdateServer() {
    // Only a usable port is stored: an empty box or a number beyond the port range would
    // leave both programs without a console.
    const std::optional<long long> port =
        console::RoundedInteger(ToBytes(txtBasePort_->text()), 1, 65535);
    if (!port) {
        return;
    }
    settings_.SaveServerSetting(kSection, "BaseTCPPort", std::to_string(*port));
}

void SettingsWindow::UpdateService() {
    const int action = lstServiceControl_->currentIndex();
    cmdServiceControl_->setEnabled(false);
    cmdServiceControl_->repaint();
    if (action >= ServiceControl::kRestart && action <= ServiceControl::kStop) {
        serviceControl_.Apply(static_cast<ServiceControl::Action>(action));
    }
    cmdServiceControl_->setEnabled(true);
}

}  // namespace tolvan
