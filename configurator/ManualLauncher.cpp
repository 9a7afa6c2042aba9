#include "configurator/ManualLauncher.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

namespace tolvan {

ManualLauncher::ManualLauncher(QWidget* parent)
    : ManualLauncher(
          QCoreApplication::applicationDirPath(),
          [](const QUrl& url) { return QDesktopServices::openUrl(url); },
          [owner = QPointer<QWidget>(parent)](const QString& title, const QString& text) {
              QMessageBox::warning(owner, title, text, QMessageBox::Ok);
          }) {}

ManualLauncher::ManualLauncher(QString folder, Opener open, ErrorBox showError)
    : folder_(std::move(folder)), open_(std::move(open)), showError_(std::move(showError)) {}

QString ManualLauncher::ManualPath(const QString& folder) {
    QString path = folder;
    if (!path.endsWith(QLatin1Char('/'))) {
        path += QLatin1Char('/');
    }
    return path + QStringLiteral("TolvanUsersManual.pdf");
}

QString ManualLauncher::ManualPath() const {
    return ManualPath(folder_);
}

QString ManualLauncher::ExistingManualPath() const {
    QString beside = ManualPath();
    if (QFileInfo(beside).isFile()) {
        return beside;
    }
    const QString packaged = QDir::cleanPath(
        folder_ + QStringLiteral("/../share/doc/tolvan-server/TolvanUsersManual.pdf"));
    return QFileInfo(packaged).isFile() ? packaged : beside;
}

QString ManualLauncher::ErrorText(const QString& manualPath) {
    return QStringLiteral(
               "Help file could not be opened.\n"
               "Make sure a PDF viewer is installed and\n"
               "the file ") +
           manualPath + QStringLiteral(" exists.");
}

bool ManualLauncher::OpenManual() const {
    const QString path = ExistingManualPath();
    // A missing file is caught here: the desktop's handler would only fail later, out of sight.
    const bool opened = QFileInfo(path).isFile() && open_ && open_(QUrl::fromLocalFile(path));
    if (!opened && showError_) {
        showError_(QStringLiteral("Error"), ErrorText(path));
    }
    return opened;
}

}  // namespace tolvan
