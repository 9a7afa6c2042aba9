#include "configurator/PortCountersFrame.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "configurator/ByteText.h"
#include "configurator/ReportText.h"

namespace tolvan {
namespace {

struct Box {
    const char* name;
    const char* caption;
};

constexpr std::array<Box, 11> kBoxNames{{
    {"txtCleared", "Counting since"},
    {"txtFraming", "Framing errors"},
    {"txtPortOver", "Port overruns"},
    {"txtRXOver", "Receive buffer overruns"},
    {"txtParity", "Parity errors"},
    {"txtRxBytes", "Bytes read from the line"},
    {"txtTXBytes", "Bytes written to the line"},
    {"txtPWFail", "Wrong passwords"},
    {"txtConnections", "Clients logged in"},
    {"txtIdle", "Idle time-outs"},
    {"txtTXOver", "Transmit buffer full"},
}};

}  // namespace

PortCountersFrame::PortCountersFrame(QWidget* parent)
    : QGroupBox(QStringLiteral("Port Counters"), parent) {
    setObjectName(QStringLiteral("framePortCounters"));
    auto* grid = new QGridLayout;
    grid->setVerticalSpacing(3);
    for (std::size_t i = 0; i < kBoxes; ++i) {
        // Read, never typed in: out of the keyboard's way, yet its text can be copied.
        auto* box = new QLabel(this);
        box->setObjectName(QString::fromLatin1(kBoxNames[i].name));
        box->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        box->setTextInteractionFlags(Qt::TextSelectableByMouse);
        box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        box->setMargin(2);
        auto* label = new QLabel(QString::fromLatin1(kBoxNames[i].caption), this);
        const int row = static_cast<int>(i);
        grid->addWidget(label, row, 0);
        grid->addWidget(box, row, 1);
        boxes_[i] = box;
    }
    boxes_[0]->setMinimumWidth(
        boxes_[0]->fontMetrics().horizontalAdvance(QStringLiteral("2025-12-31 23:59:59")) + 16);
    grid->setColumnStretch(1, 1);

    cmdClear_ = new QPushButton(QStringLiteral("&Zero counters"), this);
    cmdClear_->setObjectName(QStringLiteral("cmdClear"));
    connect(cmdClear_, &QPushButton::clicked, this, &PortCountersFrame::ClearClicked);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdClear_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addLayout(buttons);
}

void PortCountersFrame::AwaitClear() {
    cmdClear_->setEnabled(false);
}

void PortCountersFrame::ShowPortStatistics(const std::vector<std::string>& fields) {
    for (std::size_t i = 0; i < kBoxes; ++i) {
        const std::size_t field = i + 1;
        const std::string text = field < fields.size() ? fields[field] : std::string();
        boxes_[i]->setText(i == 0 ? IsoDateTime(text) : FromBytes(text).trimmed());
    }
    cmdClear_->setEnabled(true);
    setEnabled(true);
    show();
}

}  // namespace tolvan
