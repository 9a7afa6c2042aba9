#include "configurator/ConnectionList.h"

#include <QEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QVBoxLayout>

#include "configurator/ByteText.h"
#include "console_protocol/TextForms.h"

namespace tolvan {
namespace {

constexpr int kHeaderLines = 2;
constexpr std::size_t kFieldsPerConnection = 5;

QFont FixedPitchFont() {
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    if (!QFontInfo(font).fixedPitch()) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    }
    return font;
}

bool AskDisconnect(QWidget* parent) {
    return QMessageBox::question(
               parent, QStringLiteral("Disconnect Connection"),
               QStringLiteral("Are you sure you want to disconnect this session?"),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

QString FieldText(const std::vector<std::string>& fields, std::size_t i) {
    return i < fields.size() ? FromBytes(fields[i]) : QString();
}

}  // namespace

ConnectionList::ConnectionList(QWidget* parent)
    : QGroupBox(QStringLiteral("Connections"), parent),
      hint_(new QLabel(QStringLiteral("Double Click Connection Below To Disconnect."), this)),
      lstConnectionInfo_(new QListWidget(this)),
      question_(AskDisconnect) {
    setObjectName(QStringLiteral("frameConnections"));
    hint_->setObjectName(QStringLiteral("Label_30"));
    hint_->setCursor(Qt::PointingHandCursor);
    hint_->installEventFilter(this);

    lstConnectionInfo_->setObjectName(QStringLiteral("lstConnectionInfo"));
    lstConnectionInfo_->setFont(FixedPitchFont());
    lstConnectionInfo_->setSelectionMode(QAbstractItemView::SingleSelection);
    lstConnectionInfo_->setMouseTracking(true);
    lstConnectionInfo_->viewport()->installEventFilter(this);
    const QFontMetrics metrics(lstConnectionInfo_->font());
    lstConnectionInfo_->setMinimumSize(
        metrics.horizontalAdvance(HeaderLine() + QStringLiteral("255.255.255.255 ")) + 24,
        metrics.lineSpacing() * 8);
    connect(lstConnectionInfo_, &QListWidget::itemSelectionChanged, this,
            &ConnectionList::UnselectHeaderLines);
    connect(lstConnectionInfo_, &QListWidget::itemDoubleClicked, this,
            &ConnectionList::OnDoubleClick);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hint_);
    layout->addWidget(lstConnectionInfo_);
    ClearList(kLoadSeparator);
}

QString ConnectionList::HeaderLine() {
    return QStringLiteral("Index ") + QStringLiteral("Connection Time") + QString(8, u' ') +
           QStringLiteral("C ") + QStringLiteral("IP Address");
}

QString ConnectionList::ConnectionLine(const QString& connNo, const QString& time,
                                       const QString& state, const QString& address) {
    return connNo.leftJustified(6) + time.leftJustified(23) + state + u' ' + address;
}

void ConnectionList::ClearList(int separatorLength) {
    lstConnectionInfo_->clear();
    lstConnectionInfo_->addItem(HeaderLine());
    lstConnectionInfo_->addItem(QString(separatorLength, u'-'));
    for (int row = 0; row < kHeaderLines; ++row) {
        QListWidgetItem* item = lstConnectionInfo_->item(row);
        item->setFlags(item->flags() & ~Qt::ItemIsSelectable);
    }
}

void ConnectionList::ShowConnectionList(const std::vector<std::string>& fields) {
    ClearList(kReportSeparator);
    const long long count = fields.size() > 1 ? console::LeadingNumber(fields[1]) : 0;
    // A count larger than the fields carried adds no lines for connections that are not there.
    for (long long k = 0; k < count; ++k) {
        const std::size_t first = static_cast<std::size_t>(k) * kFieldsPerConnection + 2;
        if (first >= fields.size()) {
            break;
        }
        auto* item = new QListWidgetItem(
            ConnectionLine(FieldText(fields, first), FieldText(fields, first + 2),
                           FieldText(fields, first + 4), FieldText(fields, first + 3)));
        item->setData(Qt::UserRole, static_cast<int>(console::LeadingNumber(fields[first])));
        lstConnectionInfo_->addItem(item);
    }
    setEnabled(true);
    show();
}

bool ConnectionList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == hint_ && event->type() == QEvent::MouseButtonRelease) {
        Q_EMIT HintClicked();
    } else if (watched == lstConnectionInfo_->viewport()) {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseMove:
                UnselectHeaderLines();
                break;
            default:
                break;
        }
    }
    return QGroupBox::eventFilter(watched, event);
}

void ConnectionList::UnselectHeaderLines() {
    const QList<QListWidgetItem*> selected = lstConnectionInfo_->selectedItems();
    if (!selected.isEmpty() && lstConnectionInfo_->row(selected.front()) < kHeaderLines) {
        lstConnectionInfo_->clearSelection();
    }
}

void ConnectionList::OnDoubleClick() {
    const QList<QListWidgetItem*> selected = lstConnectionInfo_->selectedItems();
    if (selected.isEmpty() || lstConnectionInfo_->row(selected.front()) < kHeaderLines) {
        return;
    }
    // Taken before asking: a report may refill the list while the question is open.
    const int connNo = selected.front()->data(Qt::UserRole).toInt();
    if (question_ && question_(this)) {
        Q_EMIT DisconnectRequested(connNo);
    }
}

}  // namespace tolvan
