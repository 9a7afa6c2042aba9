#include "configurator/ConnectionList.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "configurator/ByteText.h"
#include "configurator/ReportText.h"
#include "console_protocol/Messages.h"
#include "console_protocol/TextForms.h"

namespace tolvan {
namespace {

enum Column { kNumber, kAddress, kRemotePort, kState, kSince, kColumns };

QTableWidgetItem* Cell(const QString& text, bool number = false) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    if (number) {
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    return item;
}

}  // namespace

ConnectionList::ConnectionList(QWidget* parent)
    : QGroupBox(QStringLiteral("Connections"), parent),
      lstConnectionInfo_(new QTableWidget(0, kColumns, this)),
      cmdDisconnect_(new QPushButton(QStringLiteral("&Disconnect..."), this)),
      ask_(AskWithMessageBox) {
    setObjectName(QStringLiteral("frameConnections"));
    QTableWidget* table = lstConnectionInfo_;
    table->setObjectName(QStringLiteral("lstConnectionInfo"));
    table->setHorizontalHeaderLabels({QStringLiteral("No."), QStringLiteral("Address"),
                                      QStringLiteral("Remote port"), QStringLiteral("State"),
                                      QStringLiteral("Connected since")});
    table->horizontalHeaderItem(kNumber)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    table->horizontalHeaderItem(kRemotePort)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    table->verticalHeader()->hide();
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setAlternatingRowColors(true);
    table->setTabKeyNavigation(false);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    table->setMinimumHeight(table->horizontalHeader()->sizeHint().height() +
                            3 * table->verticalHeader()->defaultSectionSize() + 4);
    table->installEventFilter(this);

    cmdDisconnect_->setObjectName(QStringLiteral("cmdDisconnect"));
    cmdDisconnect_->setToolTip(QStringLiteral("Ends the chosen connection (Delete)."));
    cmdDisconnect_->setEnabled(false);

    connect(table, &QTableWidget::itemSelectionChanged, this, &ConnectionList::OnSelectionChanged);
    connect(table, &QTableWidget::cellDoubleClicked, this, &ConnectionList::AskToDisconnect);
    connect(cmdDisconnect_, &QPushButton::clicked, this, &ConnectionList::AskToDisconnect);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdDisconnect_);
    buttons->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(table, 1);
    layout->addLayout(buttons);
}

int ConnectionList::ConnectionCount(const std::vector<std::string>& fields) {
    return fields.size() > 1 ? static_cast<int>(console::LeadingNumber(fields[1])) : 0;
}

void ConnectionList::ShowConnectionList(const std::vector<std::string>& fields, int portNumber) {
    portNumber_ = portNumber;
    QTableWidget* table = lstConnectionInfo_;
    const QList<QTableWidgetItem*> chosen = table->selectedItems();
    const int chosenConnection = chosen.isEmpty() ? -1 : chosen.front()->data(Qt::UserRole).toInt();

    const long long count = std::max(ConnectionCount(fields), 0);
    // The remote port is a sixth field of newer servers; the count tells which layout it is.
    const std::size_t perConnection =
        count > 0 && fields.size() == 2 + static_cast<std::size_t>(count) *
                                              console::kConnectionFieldCountWithPort
            ? console::kConnectionFieldCountWithPort
            : console::kConnectionFieldCount;
    table->setRowCount(0);
    for (long long k = 0; k < count; ++k) {
        const std::size_t first = static_cast<std::size_t>(k) * perConnection + 2;
        // A count larger than the fields carried adds no rows for connections not there.
        if (first >= fields.size()) {
            break;
        }
        const auto field = [&fields, first](std::size_t offset) {
            return first + offset < fields.size() ? fields[first + offset] : std::string();
        };
        const int connNo = static_cast<int>(console::LeadingNumber(field(0)));
        const bool loggedIn = console::LeadingNumber(field(1)) != 0;
        const int row = table->rowCount();
        table->insertRow(row);
        table->setItem(row, kNumber, Cell(QString::number(connNo), true));
        table->setItem(row, kAddress, Cell(FromBytes(field(3)).trimmed()));
        const QString remotePort = perConnection == console::kConnectionFieldCountWithPort
                                       ? FromBytes(field(5)).trimmed()
                                       : QString();
        table->setItem(row, kRemotePort, Cell(remotePort, true));
        table->setItem(row, kState,
                       Cell(loggedIn ? QStringLiteral("connected") : QStringLiteral("password")));
        table->setItem(row, kSince, Cell(IsoDateTime(field(2))));
        for (int column = 0; column < kColumns; ++column) {
            table->item(row, column)->setData(Qt::UserRole, connNo);
        }
        if (connNo == chosenConnection) {
            table->selectRow(row);
        }
    }
    OnSelectionChanged();
    setEnabled(true);
    show();
}

void ConnectionList::OnSelectionChanged() {
    cmdDisconnect_->setEnabled(!lstConnectionInfo_->selectedItems().isEmpty());
}

bool ConnectionList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lstConnectionInfo_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        AskToDisconnect();
        return true;
    }
    return QGroupBox::eventFilter(watched, event);
}

void ConnectionList::AskToDisconnect() {
    const QList<QTableWidgetItem*> chosen = lstConnectionInfo_->selectedItems();
    if (chosen.isEmpty()) {
        return;
    }
    const int row = chosen.front()->row();
    // Taken before asking: a report may refill the table while the question is open.
    const int connNo = chosen.front()->data(Qt::UserRole).toInt();
    const auto text = [this, row](int column) {
        return lstConnectionInfo_->item(row, column)->text();
    };
    QString peer = text(kAddress);
    if (!text(kRemotePort).isEmpty()) {
        peer += QStringLiteral(", remote port ") + text(kRemotePort);
    }
    const QString question = QStringLiteral("Disconnect connection %1 of COM%2 (%3, %4 since %5)?")
                                 .arg(connNo)
                                 .arg(portNumber_)
                                 .arg(peer, text(kState), text(kSince));
    if (ask_ && ask_(this, QStringLiteral("Disconnect Connection"), question,
                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes) {
        Q_EMIT DisconnectRequested(connNo);
    }
}

}  // namespace tolvan
