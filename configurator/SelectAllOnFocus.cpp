#include "configurator/SelectAllOnFocus.h"

#include <QEvent>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

namespace tolvan {

void SelectAllOnFocus::Install(QLineEdit* edit) {
    edit->installEventFilter(new SelectAllOnFocus(edit));
}

bool SelectAllOnFocus::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        // Deferred: a mouse click that brought the focus would otherwise place the caret and
        // undo the selection right after.
        QPointer<QLineEdit> edit = qobject_cast<QLineEdit*>(watched);
        QTimer::singleShot(0, this, [edit] {
            if (edit) {
                edit->selectAll();
            }
        });
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tolvan
