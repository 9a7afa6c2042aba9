#include "configurator/StatusLine.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace tolvan {

StatusLine::StatusLine(QWidget* parent)
    : QWidget(parent),
      connection_(new QLabel(this)),
      nextTry_(new QLabel(this)),
      cmdStart_(new QPushButton(QStringLiteral("&Start service"), this)),
      cmdRetry_(new QPushButton(QStringLiteral("Try &again now"), this)),
      result_(new QLabel(this)) {
    setObjectName(QStringLiteral("statusLine"));
    connection_->setObjectName(QStringLiteral("lblConnection"));
    connection_->setTextFormat(Qt::PlainText);
    connection_->setWordWrap(true);
    nextTry_->setObjectName(QStringLiteral("lblNextTry"));
    cmdStart_->setObjectName(QStringLiteral("cmdStartService"));
    cmdRetry_->setObjectName(QStringLiteral("cmdRetry"));
    result_->setObjectName(QStringLiteral("lblResult"));
    result_->setTextFormat(Qt::PlainText);
    result_->setWordWrap(true);
    for (QPushButton* button : {cmdStart_, cmdRetry_}) {
        button->hide();
    }
    nextTry_->hide();

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(connection_, 2);
    layout->addWidget(nextTry_);
    layout->addWidget(cmdStart_);
    layout->addWidget(cmdRetry_);
    layout->addWidget(result_, 1);
    connect(cmdStart_, &QPushButton::clicked, this, &StatusLine::StartServiceClicked);
    connect(cmdRetry_, &QPushButton::clicked, this, &StatusLine::RetryClicked);
}

void StatusLine::ShowConnecting(const QString& address) {
    connection_->setText(QStringLiteral("Connecting to the server at %1...").arg(address));
    nextTry_->hide();
    cmdStart_->hide();
    cmdRetry_->hide();
}

void StatusLine::ShowConnected(const QString& address) {
    connection_->setText(QStringLiteral("Connected to the server at %1.").arg(address));
    nextTry_->hide();
    cmdStart_->hide();
    cmdRetry_->hide();
}

void StatusLine::ShowNotConnected(const QString& reason, bool offerStart) {
    connection_->setText(QStringLiteral("Not connected: ") + reason);
    cmdStart_->setVisible(offerStart);
    cmdRetry_->show();
    nextTry_->show();
}

void StatusLine::ShowNextTry(int milliseconds) {
    const int seconds = (std::max(milliseconds, 0) + 500) / 1000;
    nextTry_->setText(QStringLiteral("Next try in %1 s.").arg(seconds));
}

void StatusLine::ShowResult(const QString& text, bool ok) {
    result_->setText(text);
    result_->setStyleSheet(ok ? QString() : QStringLiteral("color: #b00000;"));
}

void StatusLine::SetStarting(bool starting) {
    cmdStart_->setEnabled(!starting);
    if (starting) {
        ShowResult(QStringLiteral("Starting the service..."), true);
    }
}

QString StatusLine::Text() const {
    QStringList parts{connection_->text()};
    if (nextTry_->isVisibleTo(this)) {
        parts << nextTry_->text();
    }
    if (!result_->text().isEmpty()) {
        parts << result_->text();
    }
    return parts.join(u' ');
}

}  // namespace tolvan
