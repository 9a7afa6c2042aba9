#include "configurator/Ask.h"

namespace tolvan {

QMessageBox::StandardButton AskWithMessageBox(QWidget* parent, const QString& title,
                                              const QString& text,
                                              QMessageBox::StandardButtons buttons,
                                              QMessageBox::StandardButton defaultButton) {
    return QMessageBox::question(parent, title, text, buttons, defaultButton);
}

}  // namespace tolvan
