#pragma once

#include <QString>
#include <QUrl>
#include <functional>

class QWidget;

namespace tolvan {

// mnuHelpHelp: opens the user manual TolvanUsersManual.pdf that is installed beside the program.
// A package that keeps documents apart has it in ../share/doc/tolvan-server-config/ instead; that
// copy is used when there is none beside the program.
class ManualLauncher {
public:
    using Opener = std::function<bool(const QUrl& url)>;
    using ErrorBox = std::function<void(const QString& title, const QString& text)>;

    // The program's folder, the desktop's handler and a warning message box over parent.
    explicit ManualLauncher(QWidget* parent = nullptr);
    ManualLauncher(QString folder, Opener open, ErrorBox showError);

    // Opens the manual; tells the operator and returns false when that fails.
    bool OpenManual() const;

    // The manual beside the program.
    QString ManualPath() const;
    static QString ManualPath(const QString& folder);
    // The copy that will be opened: beside the program, else the packaged documents' copy, else
    // the one beside the program (which then does not exist).
    QString ExistingManualPath() const;
    static QString ErrorText(const QString& manualPath);

private:
    QString folder_;
    Opener open_;
    ErrorBox showError_;
};

}  // namespace tolvan
