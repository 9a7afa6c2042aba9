#pragma once

#include <QObject>

class QLineEdit;

namespace tolvan {

// Makes a text box select its whole text when it receives the focus, so that typing replaces
// the old value. Installed on the box and owned by it.
class SelectAllOnFocus : public QObject {
    Q_OBJECT

public:
    static void Install(QLineEdit* edit);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
};

}  // namespace tolvan
