#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;

namespace tolvan {

// The About window (F2): the configurator's version and, once the server answers, the server's.
//
// Not modal; deleted when closed, so hold it in a QPointer. Creating it is its load: the labels
// are set and the version request callback runs once.
class AboutWindow : public QDialog {
public:
    explicit AboutWindow(const std::function<void()>& sendVersionRequest,
                         QWidget* parent = nullptr);

    // The version report's fields: 0 the server's version, 1 its release text. Missing fields
    // show as empty.
    void ShowVersionReport(const std::vector<std::string>& fields);

    static QString ConfigVersionText();

private:
    QLabel* imgBox_ = nullptr;
    QLabel* lblConfigVersion_ = nullptr;
    QLabel* lblServerVersion_ = nullptr;
    QLabel* lblReleaseDate_ = nullptr;
    QPushButton* cmdOK_ = nullptr;
};

}  // namespace tolvan
