#include "configurator/PortSettingsFrame.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "configurator/ByteText.h"
#include "configurator/ChoiceLists.h"
#include "configurator/SelectAllOnFocus.h"
#include "console_protocol/Messages.h"

namespace tolvan {
namespace {

const QColor kNormalText(0, 0, 0);
const QColor kDisabledPortText(255, 0, 0);

std::string FieldOr(const std::vector<std::string>& fields, std::size_t i) {
    return i < fields.size() ? fields[i] : std::string();
}

QString Text(const std::vector<std::string>& fields, std::size_t i) {
    return FromBytes(FieldOr(fields, i));
}

std::string TextOf(const QLineEdit* edit) {
    return ToBytes(edit->text());
}

QLabel* AddRow(QGridLayout* grid, int row, int column, const QString& caption, QWidget* control) {
    auto* label = new QLabel(caption);
    label->setBuddy(control);
    grid->addWidget(label, row, column);
    grid->addWidget(control, row, column + 1);
    return label;
}

void SetEmphasis(QWidget* widget, bool emphasised) {
    QFont font = widget->font();
    font.setBold(emphasised);
    widget->setFont(font);
    QPalette palette = widget->palette();
    const QColor colour = emphasised ? kDisabledPortText : kNormalText;
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

}  // namespace

PortSettingsFrame::PortSettingsFrame(QWidget* parent)
    : QGroupBox(QStringLiteral("Port Settings"), parent),
      lstEnabled_(AddList("lstEnabled", choice::BooleanItems())),
      lstAccept_(AddList("lstAccept", choice::BooleanItems())),
      lstDTR_(AddList("lstDTR", choice::BooleanItems())),
      lstRTS_(AddList("lstRTS", choice::BooleanItems())),
      lstIBuffer_(AddList("lstIBuffer", choice::BufferItems())),
      lstOBuffer_(AddList("lstOBuffer", choice::BufferItems())),
      lstSettings_(AddList("lstSettings", choice::DataSettingsItems())),
      lstHandshake_(AddList("lstHandshake", choice::HandshakeItems())),
      lstBaud_(AddList("lstBaud", choice::BaudItems())),
      lstPortUse_(AddList("lstPortUse", choice::PortUseItems())),
      lstMaxIdleTime_(AddList("lstMaxIdleTime", choice::MaxIdleTimeItems())),
      lstConnections_(AddList("lstConnections", choice::ConnectionItems())),
      lstAttempts_(AddList("lstAttempts", choice::AttemptItems())),
      lstLockOut_(AddList("lstLockOut", choice::LockOutItems())),
      lstAllwaysConnect_(AddList("lstAllwaysConnect", choice::BooleanItems())),
      txtPortDescription_(AddText("txtPortDescription")),
      txtLogFile_(AddText("txtLogFile")),
      txtPassword_(AddText("txtPassword")),
      txtRemoteIP_(AddText("txtRemoteIP")),
      txtRemotePort_(AddText("txtRemotePort")),
      cmdUpdate_(new QPushButton(QStringLiteral("Update"), this)) {
    setObjectName(QStringLiteral("framePortSettings"));
    cmdUpdate_->setObjectName(QStringLiteral("cmdUpdate"));
    for (QLineEdit* edit : {txtLogFile_, txtPassword_, txtRemoteIP_, txtRemotePort_}) {
        SelectAllOnFocus::Install(edit);
    }
    const int pathWidth =
        fontMetrics().horizontalAdvance(QStringLiteral("/var/log/tolvan/com16.log"));
    txtLogFile_->setMinimumWidth(pathWidth);
    txtPassword_->setMinimumWidth(pathWidth);
    txtRemoteIP_->setMinimumWidth(
        fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255_")));
    // Digits only, typed or pasted; Backspace keeps working.
    txtRemotePort_->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]*")), txtRemotePort_));
    BuildLayout();

    connect(lstEnabled_, &QComboBox::currentIndexChanged, this,
            &PortSettingsFrame::OnEnabledChosen);
    connect(lstPortUse_, &QComboBox::currentIndexChanged, this,
            &PortSettingsFrame::OnPortUseChosen);
    connect(cmdUpdate_, &QPushButton::clicked, this, &PortSettingsFrame::UpdateClicked);
}

QComboBox* PortSettingsFrame::AddList(const char* name, const QStringList& items) {
    auto* list = new QComboBox(this);
    list->setObjectName(QString::fromLatin1(name));
    list->addItems(items);
    list->setCurrentIndex(-1);
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return list;
}

QLineEdit* PortSettingsFrame::AddText(const char* name) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

QWidget* PortSettingsFrame::BuildServerSettings() {
    auto* frame = new QGroupBox(QStringLiteral("Server Settings"));
    frame->setObjectName(QStringLiteral("frameServerSettings"));
    auto* grid = new QGridLayout(frame);
    AddRow(grid, 0, 0, QStringLiteral("Max Idle Time"), lstMaxIdleTime_);
    AddRow(grid, 1, 0, QStringLiteral("Max Connections"), lstConnections_);
    AddRow(grid, 0, 2, QStringLiteral("Max Password Attempts"), lstAttempts_);
    AddRow(grid, 1, 2, QStringLiteral("Bad Password Lockout Time"), lstLockOut_);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return frame;
}

QWidget* PortSettingsFrame::BuildClientSettings() {
    auto* frame = new QGroupBox(QStringLiteral("Client Settings"));
    frame->setObjectName(QStringLiteral("frameClientSettings"));
    auto* grid = new QGridLayout(frame);
    AddRow(grid, 0, 0, QStringLiteral("Allways Connect"), lstAllwaysConnect_);
    AddRow(grid, 1, 0, QStringLiteral("Remote IP Address"), txtRemoteIP_);
    AddRow(grid, 1, 2, QStringLiteral("Remote IP Port"), txtRemotePort_);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return frame;
}

void PortSettingsFrame::BuildLayout() {
    auto* grid = new QGridLayout;
    lblEnabled_ = AddRow(grid, 0, 0, QStringLiteral("Enabled"), lstEnabled_);
    lblEnabled_->setObjectName(QStringLiteral("lblEnabled"));
    AddRow(grid, 1, 0, QStringLiteral("Accept Input"), lstAccept_);
    AddRow(grid, 2, 0, QStringLiteral("DTR Enabled"), lstDTR_);
    AddRow(grid, 3, 0, QStringLiteral("RTS Enabled"), lstRTS_);
    AddRow(grid, 4, 0, QStringLiteral("Input Buffer Size"), lstIBuffer_);
    AddRow(grid, 5, 0, QStringLiteral("Output Buffer Size"), lstOBuffer_);
    AddRow(grid, 0, 2, QStringLiteral("Data Settings"), lstSettings_);
    AddRow(grid, 1, 2, QStringLiteral("Handshaking"), lstHandshake_);
    AddRow(grid, 2, 2, QStringLiteral("Baud Rate"), lstBaud_);
    AddRow(grid, 3, 2, QStringLiteral("Port Type"), lstPortUse_);
    AddRow(grid, 4, 2, QStringLiteral("Connect Password"), txtPassword_);
    AddRow(grid, 5, 2, QStringLiteral("Log File Path\\Name"), txtLogFile_);
    auto* descriptionLabel = new QLabel(QStringLiteral("Port Description"));
    descriptionLabel->setBuddy(txtPortDescription_);
    grid->addWidget(descriptionLabel, 6, 0);
    grid->addWidget(txtPortDescription_, 6, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setHorizontalSpacing(10);

    // The two sub-frames share one place; at most one of them is shown.
    frameServerSettings_ = BuildServerSettings();
    frameClientSettings_ = BuildClientSettings();
    auto* place = new QGridLayout;
    place->setContentsMargins(0, 0, 0, 0);
    for (QWidget* frame : {frameServerSettings_, frameClientSettings_}) {
        QSizePolicy policy = frame->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        frame->setSizePolicy(policy);
        place->addWidget(frame, 0, 0);
        frame->hide();
    }

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdUpdate_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(place);
    layout->addLayout(buttons);
}

void PortSettingsFrame::OnEnabledChosen() {
    const bool enabled = lstEnabled_->currentIndex() == 1;
    SetEmphasis(lstEnabled_, !enabled);
    SetEmphasis(lblEnabled_, !enabled);
}

void PortSettingsFrame::OnPortUseChosen() {
    const int index = lstPortUse_->currentIndex();
    if (index < 0) {
        return;
    }
    frameServerSettings_->setVisible(index == 0);
    frameClientSettings_->setVisible(index == 1);
}

void PortSettingsFrame::ShowPortSettings(const std::vector<std::string>& fields) {
    lstEnabled_->setCurrentIndex(choice::BooleanIndex(FieldOr(fields, 1)));
    lstAccept_->setCurrentIndex(choice::BooleanIndex(FieldOr(fields, 2)));
    lstConnections_->setCurrentIndex(choice::NumberIndex(FieldOr(fields, 3), 11, 1));
    lstDTR_->setCurrentIndex(choice::BooleanIndex(FieldOr(fields, 5)));
    lstRTS_->setCurrentIndex(choice::BooleanIndex(FieldOr(fields, 6)));
    lstIBuffer_->setCurrentIndex(choice::TextIndex(FieldOr(fields, 7), choice::BufferValues(), 1));
    lstOBuffer_->setCurrentIndex(choice::TextIndex(FieldOr(fields, 8), choice::BufferValues(), 0));
    lstBaud_->setCurrentIndex(choice::TextIndex(FieldOr(fields, 9), choice::BaudValues(), 4));
    lstSettings_->setCurrentIndex(choice::DataSettingsIndex(FieldOr(fields, 10)));
    lstHandshake_->setCurrentIndex(choice::NumberIndex(FieldOr(fields, 11), 4, 0));
    lstAttempts_->setCurrentIndex(choice::NumberIndex(FieldOr(fields, 12), 11, 0));
    lstLockOut_->setCurrentIndex(choice::LockOutIndex(FieldOr(fields, 13)));
    lstMaxIdleTime_->setCurrentIndex(
        choice::TextIndex(FieldOr(fields, 14), choice::MaxIdleTimeValues(), 0));
    txtPassword_->setText(Text(fields, 15));
    txtLogFile_->setText(Text(fields, 16));
    lstAllwaysConnect_->setCurrentIndex(choice::BooleanIndex(FieldOr(fields, 17)));
    txtRemoteIP_->setText(Text(fields, 18));
    txtRemotePort_->setText(Text(fields, 19));
    lstPortUse_->setCurrentIndex(choice::PortUseIndex(FieldOr(fields, 20)));
    txtPortDescription_->setText(Text(fields, 21));
    // Long paths and descriptions are read from their start.
    for (QLineEdit* edit :
         {txtPassword_, txtLogFile_, txtRemoteIP_, txtRemotePort_, txtPortDescription_}) {
        edit->setCursorPosition(0);
    }
    // A choice equal to the previous one emits no change; react all the same.
    OnEnabledChosen();
    OnPortUseChosen();
    setEnabled(true);
    show();
}

std::string PortSettingsFrame::SettingsUpdatePayload(int port, const QString& portText) const {
    const bool client = lstPortUse_->currentIndex() == 1;
    const std::vector<std::string> fields{
        std::to_string(port),
        choice::BooleanValue(lstEnabled_->currentIndex()),
        choice::BooleanValue(lstAccept_->currentIndex()),
        client ? "1" : choice::PositionValue(lstConnections_->currentIndex()),
        ToBytes(portText.mid(3).trimmed()),
        choice::BooleanValue(lstDTR_->currentIndex()),
        choice::BooleanValue(lstRTS_->currentIndex()),
        choice::ValueAt(choice::BufferValues(), lstIBuffer_->currentIndex(), "1024"),
        choice::ValueAt(choice::BufferValues(), lstOBuffer_->currentIndex(), "512"),
        choice::ValueAt(choice::BaudValues(), lstBaud_->currentIndex(), "9600"),
        lstSettings_->currentIndex() == 1 ? "e,7,1" : "n,8,1",
        choice::PositionValue(lstHandshake_->currentIndex()),
        choice::PositionValue(lstAttempts_->currentIndex()),
        choice::LockOutValue(lstLockOut_->currentIndex()),
        choice::ValueAt(choice::MaxIdleTimeValues(), lstMaxIdleTime_->currentIndex(), "0"),
        TextOf(txtPassword_),
        TextOf(txtLogFile_),
        choice::BooleanValue(lstAllwaysConnect_->currentIndex()),
        TextOf(txtRemoteIP_),
        TextOf(txtRemotePort_),
        client ? "Client" : "Server",
        TextOf(txtPortDescription_)};
    return console::JoinFields(fields);
}

}  // namespace tolvan
