#include "configurator/AboutWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "configurator/Icons.h"

namespace tolvan {
namespace {

QLabel* NamedLabel(const QString& name, const QString& caption) {
    auto* label = new QLabel(caption);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);  // the server's texts are shown, never interpreted
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString FieldText(const std::vector<std::string>& fields, std::size_t index) {
    if (index >= fields.size()) {
        return {};
    }
    return QString::fromLatin1(fields[index].data(), static_cast<qsizetype>(fields[index].size()));
}

}  // namespace

QString AboutWindow::ConfigVersionText() {
    return QStringLiteral("Tolvan Server Config Version %1.%2.%3")
        .arg(TOLVAN_VERSION_MAJOR)
        .arg(TOLVAN_VERSION_MINOR)
        .arg(TOLVAN_VERSION_REVISION);
}

AboutWindow::AboutWindow(const std::function<void()>& sendVersionRequest, QWidget* parent)
    : QDialog(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("F2"));
    setWindowTitle(QStringLiteral("About"));
    const QIcon icon = TolvanIcon(QStringLiteral("ICONIDLE"));
    setWindowIcon(icon);

    imgBox_ = new QLabel;
    imgBox_->setObjectName(QStringLiteral("imgBox"));
    imgBox_->setPixmap(icon.pixmap(32, 32));
    lblConfigVersion_ = NamedLabel(QStringLiteral("lblConfigVersion"), ConfigVersionText());
    lblServerVersion_ = NamedLabel(QStringLiteral("lblServerVersion"),
                                   QStringLiteral("Tolvan Server Version... Obtaining Version"));
    lblReleaseDate_ = NamedLabel(QStringLiteral("lblReleaseDate"), QString());
    cmdOK_ = new QPushButton(QStringLiteral("&Close"));
    cmdOK_->setObjectName(QStringLiteral("cmdOK"));
    cmdOK_->setDefault(true);
    connect(cmdOK_, &QPushButton::clicked, this, &QDialog::close);

    auto* texts = new QVBoxLayout;
    texts->addWidget(lblConfigVersion_);
    texts->addWidget(lblServerVersion_);
    texts->addWidget(lblReleaseDate_);
    auto* top = new QHBoxLayout;
    top->addWidget(imgBox_, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK_);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addLayout(buttons);
    setMinimumWidth(360);

    if (sendVersionRequest) {
        sendVersionRequest();
    }
}

void AboutWindow::ShowVersionReport(const std::vector<std::string>& fields) {
    lblServerVersion_->setText(QStringLiteral("Tolvan Server Version ") + FieldText(fields, 0));
    lblReleaseDate_->setText(FieldText(fields, 1));
}

}  // namespace tolvan
