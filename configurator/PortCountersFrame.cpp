#include "configurator/PortCountersFrame.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "configurator/ByteText.h"

namespace tolvan {
namespace {

struct Box {
    const char* name;
    const char* caption;
};

constexpr std::array<Box, 11> kBoxNames{{
    {"txtCleared", "Last Cleared"},
    {"txtFraming", "Framing Error"},
    {"txtPortOver", "Port Over Run"},
    {"txtRXOver", "RX Buffer Over Run"},
    {"txtParity", "Parity Error"},
    {"txtRxBytes", "Rx Bytes"},
    {"txtTXBytes", "TX Bytes"},
    {"txtPWFail", "Password Failures"},
    {"txtConnections", "Successful Connections"},
    {"txtIdle", "Idle Connection Timeouts"},
    {"txtTXOver", "TX Buffer Over Run"},
}};

}  // namespace

PortCountersFrame::PortCountersFrame(QWidget* parent)
    : QGroupBox(QStringLiteral("Port Counters"), parent) {
    setObjectName(QStringLiteral("framePortCounters"));
    auto* grid = new QGridLayout;
    for (std::size_t i = 0; i < kBoxes; ++i) {
        auto* box = new QLineEdit(this);
        box->setObjectName(QString::fromLatin1(kBoxNames[i].name));
        box->setReadOnly(true);
        auto* label = new QLabel(QString::fromLatin1(kBoxNames[i].caption), this);
        label->setBuddy(box);
        const int row = static_cast<int>(i);
        grid->addWidget(label, row, 0);
        grid->addWidget(box, row, 1);
        boxes_[i] = box;
    }
    // The reset time is a date and time; the counters are short numbers.
    boxes_[0]->setMinimumWidth(
        boxes_[0]->fontMetrics().horizontalAdvance(QStringLiteral("12/31/2005 12:00:00 AM")) + 16);
    grid->setColumnStretch(1, 1);

    auto* cmdClear = new QPushButton(QStringLiteral("Clear"), this);
    cmdClear->setObjectName(QStringLiteral("cmdClear"));
    auto* cmdRefresh = new QPushButton(QStringLiteral("Refresh"), this);
    cmdRefresh->setObjectName(QStringLiteral("cmdRefresh"));
    connect(cmdClear, &QPushButton::clicked, this, &PortCountersFrame::ClearClicked);
    connect(cmdRefresh, &QPushButton::clicked, this, &PortCountersFrame::RefreshClicked);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdClear);
    buttons->addWidget(cmdRefresh);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addLayout(buttons);
}

void PortCountersFrame::ShowPortStatistics(const std::vector<std::string>& fields) {
    for (std::size_t i = 0; i < kBoxes; ++i) {
        const std::size_t field = i + 1;
        boxes_[i]->setText(field < fields.size() ? FromBytes(fields[field]) : QString());
    }
    setEnabled(true);
    show();
}

}  // namespace tolvan
