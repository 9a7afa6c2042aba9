#include "configurator/Autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <utility>

namespace tolvan {
namespace {

// Exec= quoting of the desktop entry format: quote an argument that holds reserved characters
// and escape the four characters that stay special inside the quotes.
QString QuotedExecArgument(const QString& argument) {
    static const QString kReserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool needsQuotes = std::any_of(argument.begin(), argument.end(),
                                         [](QChar c) { return kReserved.contains(c); });
    if (!needsQuotes) {
        return argument;
    }
    QString quoted;
    for (QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') {
            quoted += u'\\';
        }
        quoted += c;
    }
    // The file format itself escapes backslashes once more.
    quoted.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
    return u'"' + quoted + u'"';
}

}  // namespace

Autostart::Autostart(QString directory)
    : directory_(directory.isEmpty() ? DefaultDirectory() : std::move(directory)) {}

QString Autostart::DefaultDirectory() {
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!configHome.isEmpty()) {
        return configHome + QStringLiteral("/autostart");
    }
    return QDir::homePath() + QStringLiteral("/.config/autostart");
}

QString Autostart::LoginCommandLine(const QString& executablePath) {
    return QuotedExecArgument(QFileInfo(executablePath).absoluteFilePath()) +
           QStringLiteral(" -Login");
}

QString Autostart::FilePath() const {
    return directory_ + QStringLiteral("/TolvanServerConfig.desktop");
}

bool Autostart::Exists() const {
    return QFileInfo::exists(FilePath());
}

bool Autostart::Write(const QString& executablePath) const {
    if (!QDir().mkpath(directory_)) {
        return false;
    }
    QSaveFile file(FilePath());
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QString text = QStringLiteral(
                             "[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=TolvanServerConfig\n"
                             "Comment=Tolvan Server configurator\n"
                             "Exec=") +
                         LoginCommandLine(executablePath) +
                         QStringLiteral(
                             "\n"
                             "Terminal=false\n"
                             "X-GNOME-Autostart-enabled=true\n");
    file.write(text.toUtf8());
    return file.commit();
}

bool Autostart::Remove() const {
    QFile file(FilePath());
    return !file.exists() || file.remove();
}

}  // namespace tolvan
