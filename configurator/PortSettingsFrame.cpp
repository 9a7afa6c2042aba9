#include "configurator/PortSettingsFrame.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHostAddress>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "configurator/ByteText.h"
#include "configurator/SettingField.h"
#include "console_protocol/PortSettingsTable.h"
#include "console_protocol/TextForms.h"

namespace tolvan {
namespace {

using namespace console;

struct FieldLook {
    int field;
    const char* name;
    const char* caption;
    const char* tip;
};

// Every editable field in the order of the editor: top to bottom, left to right.
constexpr FieldLook kLooks[] = {
    {kFieldEnabled, "chkEnabled", "&Enabled", "The port is bridged only when ticked."},
    {kFieldPortDescription, "txtPortDescription", "Descr&iption", nullptr},
    {kFieldBaudRate, "lstBaud", "&Baud rate", nullptr},
    {kFieldLineFormat, "lstSettings", "D&ata format", "Parity, data bits and stop bits."},
    {kFieldHandshaking, "lstHandshake", "F&low control", nullptr},
    {kFieldDTREnable, "chkDTR", "D&TR on", "DTR line on while the port is open."},
    {kFieldRTSEnable, "chkRTS", "RT&S on", "RTS line on while the port is open."},
    {kFieldInBufferSize, "lstIBuffer", "I&nput buffer",
     "Client mode: the most serial data kept while the connection is being made."},
    {kFieldOutBufferSize, "lstOBuffer", "&Output buffer", "Serial transmit queue, in bytes."},
    {kFieldLogFile, "txtLogFile", "Lo&g file",
     "Every byte of the port's traffic is appended to this file; empty for none."},
    {kFieldServiceType, "lstPortUse", "Port t&ype", nullptr},
    {kFieldConnectPassword, "txtPassword", "Pass&word",
     "Server: the password a client must give (empty for none). Client: the password given to "
     "the remote host."},
    {kFieldAcceptInput, "chkAccept", "A&ccept input from clients",
     "When not ticked, clients can only listen."},
    {kFieldMaxConnections, "txtMaxConnections", "Ma&x connections", nullptr},
    {kFieldMaxPasswordAttemps, "txtAttempts", "Attempts befo&re lock-out",
     "Wrong passwords from one address before that address is locked out."},
    {kFieldBadPasswordShutdownLength, "txtLockOut", "Loc&k-out time",
     "How long an address that gave too many wrong passwords is refused."},
    {kFieldMaxIdleTime, "txtMaxIdleTime", "Idle ti&me-out",
     "A client that sends nothing for this long is disconnected."},
    {kFieldRemoteIP, "txtRemoteIP", "Re&mote host", "Host name or IP address to connect to."},
    {kFieldRemotePort, "txtRemotePort", "&Remote port", nullptr},
    {kFieldAllwaysConnected, "chkAllwaysConnect", "&Keep connected",
     "Stay connected all the time instead of connecting when serial data arrives."},
};

const QColor kDisabledPortText(190, 0, 0);

QString CaptionOf(const SettingField& field) {
    return field.Caption();
}

void SetEmphasis(QWidget* widget, bool emphasised) {
    QFont font = widget->font();
    font.setBold(emphasised);
    widget->setFont(font);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText,
                     emphasised ? kDisabledPortText : QPalette().color(QPalette::WindowText));
    widget->setPalette(palette);
}

// Adds caption and control as one row of a grid, the message (while there is one) below the
// control.
void AddRow(QGridLayout* grid, SettingField& field) {
    const int row = grid->rowCount();
    if (field.Label() != nullptr) {
        grid->addWidget(field.Label(), row, 0);
        grid->addWidget(field.Control(), row, 1);
    } else {
        grid->addWidget(field.Control(), row, 0, 1, 2);
    }
    grid->addWidget(field.Problem(), row + 1, 1);
}

QGridLayout* FormGrid(QWidget* owner) {
    auto* grid = new QGridLayout(owner);
    grid->setColumnStretch(1, 1);
    grid->setVerticalSpacing(4);
    return grid;
}

QString Sentence(const QStringList& captions) {
    if (captions.size() <= 1) {
        return captions.join(QString());
    }
    return captions.mid(0, captions.size() - 1).join(QStringLiteral(", ")) +
           QStringLiteral(" and ") + captions.back();
}

}  // namespace

QString HostProblem(const QString& host) {
    const QString text = host.trimmed();
    if (text.isEmpty()) {
        return QStringLiteral("Enter the remote host's name or IP address.");
    }
    if (QHostAddress(text).isNull()) {
        static const QRegularExpression name(
            QStringLiteral("^(?=.{1,253}\\.?$)[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?"
                           "(\\.[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*\\.?$"));
        static const QRegularExpression numeric(QStringLiteral("^[0-9.]+$"));
        // Digits and dots only would be an IPv4 address, and that did not read as one.
        if (!name.match(text).hasMatch() || numeric.match(text).hasMatch()) {
            return QStringLiteral("\"%1\" is not a host name or an IP address.").arg(text);
        }
    }
    return {};
}

QString PortProblem(const QString& port, int lowest) {
    bool number = false;
    const int value = port.trimmed().toInt(&number);
    if (!number || value < lowest || value > 65535) {
        return QStringLiteral("Enter a port from %1 to 65535.").arg(lowest);
    }
    return {};
}

PortSettingsFrame::PortSettingsFrame(QWidget* parent)
    : QGroupBox(QStringLiteral("Port Settings"), parent) {
    setObjectName(QStringLiteral("framePortSettings"));
    for (const FieldLook& look : kLooks) {
        AddField(look.field, QString::fromLatin1(look.caption));
        SettingField& field = *fields_.back();
        field.Control()->setObjectName(QString::fromLatin1(look.name));
        field.Problem()->setObjectName(QString::fromLatin1(look.name) + QStringLiteral("Problem"));
        if (look.tip != nullptr) {
            field.Control()->setToolTip(QString::fromLatin1(look.tip));
        }
    }
    const auto minutes = [this](int wireField, const char* none) {
        auto* box = static_cast<QSpinBox*>(Field(wireField).Control());
        box->setSuffix(QStringLiteral(" min"));
        box->setSpecialValueText(QString::fromLatin1(none));
    };
    minutes(kFieldBadPasswordShutdownLength, "No lock-out");
    minutes(kFieldMaxIdleTime, "No time-out");
    static_cast<QSpinBox*>(Field(kFieldMaxPasswordAttemps).Control())
        ->setSpecialValueText(QStringLiteral("No limit"));

    cmdRevert_ = new QPushButton(QStringLiteral("Re&vert"));
    cmdRevert_->setObjectName(QStringLiteral("cmdRevert"));
    cmdRevert_->setToolTip(QStringLiteral("Shows the stored settings again."));
    cmdRevert_->setEnabled(false);
    cmdUpdate_ = new QPushButton(QStringLiteral("&Update"));
    cmdUpdate_->setObjectName(QStringLiteral("cmdUpdate"));
    cmdUpdate_->setToolTip(
        QStringLiteral("Sends the changed settings; the server applies and stores them."));
    BuildLayout();

    connect(cmdRevert_, &QPushButton::clicked, this, &PortSettingsFrame::Revert);
    connect(cmdUpdate_, &QPushButton::clicked, this, &PortSettingsFrame::UpdateClicked);
}

PortSettingsFrame::~PortSettingsFrame() = default;

void PortSettingsFrame::AddField(int wireField, const QString& caption) {
    fields_.push_back(SettingField::Make(wireField, caption));
    connect(fields_.back().get(), &SettingField::Edited, this, &PortSettingsFrame::OnEdited);
}

SettingField& PortSettingsFrame::Field(int wireField) const {
    for (const auto& field : fields_) {
        if (field->WireField() == wireField) {
            return *field;
        }
    }
    std::abort();  // every editable field is built in the constructor
}

QList<QWidget*> PortSettingsFrame::KeyboardOrder() const {
    QList<QWidget*> order;
    for (const auto& field : fields_) {
        order << field->Control();
    }
    return order << cmdRevert_ << cmdUpdate_;
}

void PortSettingsFrame::BuildLayout() {
    auto* top = new QGridLayout;
    top->addWidget(Field(kFieldEnabled).Control(), 0, 0);
    top->addWidget(Field(kFieldPortDescription).Label(), 0, 1);
    top->addWidget(Field(kFieldPortDescription).Control(), 0, 2);
    top->addWidget(Field(kFieldPortDescription).Problem(), 1, 2);
    top->setColumnStretch(2, 1);

    auto* line = new QGroupBox(QStringLiteral("Serial line"));
    line->setObjectName(QStringLiteral("frameSerialLine"));
    QGridLayout* lineGrid = FormGrid(line);
    for (const int f : {kFieldBaudRate, kFieldLineFormat, kFieldHandshaking}) {
        AddRow(lineGrid, Field(f));
    }
    auto* lines = new QHBoxLayout;
    lines->addWidget(Field(kFieldDTREnable).Control());
    lines->addWidget(Field(kFieldRTSEnable).Control());
    lines->addStretch(1);
    lineGrid->addLayout(lines, lineGrid->rowCount(), 0, 1, 2);
    for (const int f : {kFieldInBufferSize, kFieldOutBufferSize, kFieldLogFile}) {
        AddRow(lineGrid, Field(f));
    }
    lineGrid->setRowStretch(lineGrid->rowCount(), 1);

    auto* network = new QGroupBox(QStringLiteral("Network"));
    network->setObjectName(QStringLiteral("frameNetwork"));
    QGridLayout* networkGrid = FormGrid(network);
    for (const int f : {kFieldServiceType, kFieldConnectPassword, kFieldAcceptInput}) {
        AddRow(networkGrid, Field(f));
    }
    // The settings of the two port types share one place; only the chosen type's are shown.
    // Untitled: the port type just above names the mode.
    auto* server = new QWidget;
    server->setObjectName(QStringLiteral("frameServerSettings"));
    QGridLayout* serverGrid = FormGrid(server);
    serverGrid->setContentsMargins(0, 0, 0, 0);
    for (const int f : {kFieldMaxConnections, kFieldMaxPasswordAttemps,
                        kFieldBadPasswordShutdownLength, kFieldMaxIdleTime}) {
        AddRow(serverGrid, Field(f));
    }
    auto* client = new QWidget;
    client->setObjectName(QStringLiteral("frameClientSettings"));
    QGridLayout* clientGrid = FormGrid(client);
    clientGrid->setContentsMargins(0, 0, 0, 0);
    for (const int f : {kFieldRemoteIP, kFieldRemotePort, kFieldAllwaysConnected}) {
        AddRow(clientGrid, Field(f));
    }
    clientGrid->setRowStretch(clientGrid->rowCount(), 1);
    modeSettings_ = new QStackedWidget;
    modeSettings_->addWidget(server);
    modeSettings_->addWidget(client);
    networkGrid->addWidget(modeSettings_, networkGrid->rowCount(), 0, 1, 2);
    networkGrid->setRowStretch(networkGrid->rowCount(), 1);

    auto* columns = new QHBoxLayout;
    columns->addWidget(line, 1);
    columns->addWidget(network, 1);

    lblStoredOnly_ = new QLabel;
    lblStoredOnly_->setObjectName(QStringLiteral("lblStoredOnly"));
    lblStoredOnly_->setWordWrap(true);
    lblStoredOnly_->setToolTip(
        QStringLiteral("Kept in the store only: edit them there and reload the server."));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblStoredOnly_, 1);
    buttons->addStretch(1);
    buttons->addWidget(cmdRevert_);
    buttons->addWidget(cmdUpdate_);
    cmdUpdate_->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);
    ShowPortType();
}

bool PortSettingsFrame::ClientMode() const {
    return !EqualsIgnoringCase(Trimmed(Field(kFieldServiceType).Value()), "Server");
}

void PortSettingsFrame::ShowPortType() {
    modeSettings_->setCurrentIndex(ClientMode() ? 1 : 0);
}

void PortSettingsFrame::ShowEnabled() {
    // A port that is not bridged stands out.
    QWidget* box = Field(kFieldEnabled).Control();
    SetEmphasis(box, !static_cast<QCheckBox*>(box)->isChecked());
}

void PortSettingsFrame::OnEdited() {
    ShowPortType();
    ShowEnabled();
    Validate();
    MarkChanges();
}

void PortSettingsFrame::MarkChanges() {
    int changes = 0;
    for (const auto& field : fields_) {
        const bool changed = field->Changed();
        changes += changed ? 1 : 0;
        QWidget* caption = field->Label() != nullptr ? field->Label() : field->Control();
        if (caption->property("changed").toBool() != changed) {
            caption->setProperty("changed", changed);
            field->Control()->setProperty("changed", changed);
            QFont font = caption->font();
            font.setItalic(changed);
            font.setUnderline(changed);
            caption->setFont(font);
        }
    }
    cmdRevert_->setEnabled(changes > 0);
    setTitle(changes == 0 ? QStringLiteral("Port Settings")
                          : QStringLiteral("Port Settings (%1 not yet sent)").arg(changes));
    changes_ = changes;
}

bool PortSettingsFrame::HasChanges() const {
    return changes_ > 0;
}

QStringList PortSettingsFrame::ChangedCaptions() const {
    QStringList captions;
    for (const auto& field : fields_) {
        if (field->Changed()) {
            captions << CaptionOf(*field);
        }
    }
    return captions;
}

void PortSettingsFrame::Revert() {
    for (const auto& field : fields_) {
        field->Revert();
    }
    OnEdited();
}

bool PortSettingsFrame::Validate() {
    const bool client = ClientMode();
    bool good = true;
    for (const auto& field : fields_) {
        QString problem;
        const QString value = FromBytes(field->Value());
        const SettingView view = field->Row().view;
        if (view == SettingView::Host && (client || (field->Changed() && !value.isEmpty()))) {
            problem = HostProblem(value);
        } else if (view == SettingView::Port && (client || field->Changed())) {
            problem = PortProblem(value, client ? 1 : 0);
        } else if (field->Changed() && field->Row().kind == SettingKind::Text) {
            PortSettingValues scratch;
            if (SetFromText(scratch, field->Row(), field->Value())) {
                problem = QStringLiteral("\"|\" cannot be stored here.");
            }
        } else if (field->Changed() && field->Row().kind == SettingKind::Number) {
            PortSettingValues scratch;
            if (SetFromText(scratch, field->Row(), field->Value())) {
                problem = QStringLiteral("Enter a number from %1 to %2.")
                              .arg(field->Row().min)
                              .arg(field->Row().max);
            }
        }
        field->SetProblem(problem);
        good = good && problem.isEmpty();
    }
    SettingField& baud = Field(kFieldBaudRate);
    SettingField& format = Field(kFieldLineFormat);
    if (baud.Changed() || format.Changed()) {
        if (const auto problem = LineSettingsProblem(baud.Value() + "," + format.Value())) {
            QString text = FromBytes(*problem);
            text[0] = text[0].toUpper();
            (format.Changed() ? format : baud).SetProblem(text + u'.');
            good = false;
        }
    }
    return good;
}

std::vector<std::string> PortSettingsFrame::UpdateFields(int portIndex) const {
    std::vector<std::string> update(kSettingsFieldCount);
    update[kFieldPort] = std::to_string(portIndex);
    update[kFieldPortNumber] = std::to_string(portNumber_);
    for (const auto& field : fields_) {
        update[static_cast<std::size_t>(field->WireField())] = field->UpdateText();
    }
    return update;
}

void PortSettingsFrame::AwaitAnswer(const std::vector<std::string>& sent) {
    awaiting_ = sent;
    setEnabled(false);
}

void PortSettingsFrame::CheckAnswer(const std::vector<std::string>& fields) {
    QStringList refused;
    for (const auto& field : fields_) {
        const auto i = static_cast<std::size_t>(field->WireField());
        // Only what was sent as changed is in question; the rest went back as reported.
        if (field->Changed() &&
            (i >= fields.size() || !field->SameValue(awaiting_[i], fields[i]))) {
            refused << CaptionOf(*field);
        }
    }
    awaiting_.clear();
    const QString port = QStringLiteral("COM") + QString::number(portNumber_);
    if (refused.isEmpty()) {
        Q_EMIT UpdateAnswered(true, QStringLiteral("The settings of %1 were stored.").arg(port));
    } else {
        Q_EMIT UpdateAnswered(false,
                              QStringLiteral("The server did not take %1 for %2; see its journal.")
                                  .arg(Sentence(refused), port));
    }
}

void PortSettingsFrame::Forget() {
    portNumber_ = 0;
    awaiting_.clear();
    for (const auto& field : fields_) {
        field->Show(std::string(), false);
        field->SetProblem({});
    }
    OnEdited();
}

void PortSettingsFrame::ShowStoredOnly(const QString& text) {
    lblStoredOnly_->setText(QStringLiteral("In the store only: ") + text);
}

void PortSettingsFrame::ShowPortSettings(const std::vector<std::string>& fields) {
    const auto text = [&fields](int i) {
        const auto index = static_cast<std::size_t>(i);
        return index < fields.size() ? fields[index] : std::string();
    };
    const int portNumber = static_cast<int>(LeadingNumber(text(kFieldPortNumber)));
    const bool samePort = portNumber == portNumber_ && portNumber_ != 0;
    if (!samePort) {
        awaiting_.clear();
    }
    if (!awaiting_.empty()) {
        CheckAnswer(fields);
    }
    portNumber_ = portNumber;
    for (const auto& field : fields_) {
        field->Show(text(field->WireField()), samePort);
    }
    OnEdited();
    setEnabled(true);
    show();
}

}  // namespace tolvan
