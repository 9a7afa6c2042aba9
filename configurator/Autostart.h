#pragma once

#include <QString>

namespace tolvan {

// The log-in start entry: the XDG autostart file TolvanServerConfig.desktop. The file's
// existence is what "the entry exists" means.
class Autostart {
public:
    // directory: where autostart files live; empty means $XDG_CONFIG_HOME/autostart, or
    // ~/.config/autostart when XDG_CONFIG_HOME is unset.
    explicit Autostart(QString directory = {});

    static QString DefaultDirectory();
    // The command line written to Exec=: the executable's absolute path and "-Login".
    static QString LoginCommandLine(const QString& executablePath);

    QString FilePath() const;
    bool Exists() const;
    // Writes (or replaces) the entry that starts executablePath with "-Login".
    bool Write(const QString& executablePath) const;
    // A missing entry is no error.
    bool Remove() const;

private:
    QString directory_;
};

}  // namespace tolvan
