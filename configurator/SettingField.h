#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "console_protocol/PortSettingsTable.h"

class QLabel;
class QWidget;

namespace tolvan {

// One field of a port settings report, shown in one control of the settings editor. It keeps
// the text the server reported, so a control the operator did not touch gives back exactly
// that text, whatever the control can show.
class SettingField : public QObject {
    Q_OBJECT

public:
    // The field's control for the table row that carries it: a check box, a number box, a
    // choice list or a text box. caption may hold a mnemonic ("&Baud rate").
    static std::unique_ptr<SettingField> Make(int wireField, const QString& caption);
    ~SettingField() override;

    int WireField() const { return wireField_; }
    const console::PortSettingRow& Row() const { return row_; }
    QWidget* Control() const { return control_; }
    // The caption beside the control; nullptr where the control carries it (check boxes).
    QLabel* Label() const { return label_; }
    // The message next to the field; hidden while there is none.
    QLabel* Problem() const { return problem_; }
    QString Caption() const;

    // Shows a reported text. With keepChanges a control the operator changed keeps its value
    // unless the report now carries that same value.
    void Show(const std::string& reported, bool keepChanges);
    const std::string& Reported() const { return reported_; }
    // What the control holds, as a field text ("TRUE", "115200", "plc-7").
    std::string Value() const { return ControlText(); }
    bool Changed() const { return ControlText() != shown_; }
    // What an update carries: the control's text when changed, else the reported text (a
    // Boolean in the spelling of requests).
    std::string UpdateText() const;
    void Revert();
    // Whether two field texts mean the same setting.
    bool SameValue(const std::string& a, const std::string& b) const;
    void SetProblem(const QString& problem);
    bool HasProblem() const;

Q_SIGNALS:
    // The operator changed the control.
    void Edited();

protected:
    SettingField(int wireField, QWidget* control, bool ownCaption, const QString& caption);
    // Sets the control from a field text; a text it cannot show leaves it at its nearest.
    virtual void SetControl(const std::string& text) = 0;
    virtual std::string ControlText() const = 0;
    void NotifyEdited();

private:
    int wireField_;
    const console::PortSettingRow& row_;
    QWidget* control_;
    QLabel* label_ = nullptr;
    QLabel* problem_;
    std::string reported_;
    std::string shown_;  // the control's text right after showing reported_
    bool filling_ = false;
};

// The items of the choice lists: the text shown and the field text it stands for.
using Choices = std::vector<std::pair<QString, std::string>>;
Choices BaudChoices();    // 50 to 921600
Choices BufferChoices();  // 256 to 16384
Choices LineFormatChoices();
Choices HandshakeChoices();
Choices PortTypeChoices();

}  // namespace tolvan
