#pragma once

#include <QMessageBox>
#include <functional>

namespace tolvan {

// Asks the operator a question and gives the button chosen. The windows take one of these so
// that a test can answer in the operator's place.
using Ask = std::function<QMessageBox::StandardButton(
    QWidget* parent, const QString& title, const QString& text,
    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)>;

// A question box with the question-mark icon.
QMessageBox::StandardButton AskWithMessageBox(QWidget* parent, const QString& title,
                                              const QString& text,
                                              QMessageBox::StandardButtons buttons,
                                              QMessageBox::StandardButton defaultButton);

}  // namespace tolvan
