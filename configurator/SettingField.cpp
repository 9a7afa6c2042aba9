#include "configurator/SettingField.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <algorithm>
#include <limits>

#include "configurator/ByteText.h"
#include "configurator/SelectAllOnFocus.h"
#include "console_protocol/TextForms.h"

namespace tolvan {
namespace {

using console::SettingView;

constexpr long kHighestOfferedBaud = 921600;

const console::PortSettingRow& RowOf(int wireField) {
    // Both parts of the line settings travel in fields of their own but are one setting.
    const int field = wireField == console::kFieldLineFormat ? console::kFieldBaudRate : wireField;
    for (const console::PortSettingRow& row : console::PortSettingRows()) {
        if (row.wireField == field) {
            return row;
        }
    }
    // Every wire field but the port and its COM number has a row; those two have no control.
    std::abort();
}

std::optional<long long> WholeNumber(const std::string& text) {
    return console::RoundedInteger(text, std::numeric_limits<int>::min(),
                                   std::numeric_limits<int>::max());
}

class CheckField : public SettingField {
public:
    CheckField(int wireField, const QString& caption)
        : SettingField(wireField, new QCheckBox(caption), true, caption) {
        connect(Box(), &QCheckBox::toggled, this, &CheckField::NotifyEdited);
    }

protected:
    QCheckBox* Box() const { return static_cast<QCheckBox*>(Control()); }
    void SetControl(const std::string& text) override {
        Box()->setChecked(console::ParseBooleanField(text).value_or(false));
    }
    std::string ControlText() const override {
        return console::RequestBooleanText(Box()->isChecked());
    }
};

class NumberField : public SettingField {
public:
    NumberField(int wireField, const QString& caption)
        : SettingField(wireField, new QSpinBox, false, caption) {
        QSpinBox* box = Box();
        box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        box->setRange(static_cast<int>(Row().min), static_cast<int>(Row().max));
        box->setAccelerated(true);
        connect(box, &QSpinBox::valueChanged, this, &NumberField::NotifyEdited);
    }
    QSpinBox* Box() const { return static_cast<QSpinBox*>(Control()); }

protected:
    void SetControl(const std::string& text) override {
        QSpinBox* box = Box();
        const std::optional<long long> value = WholeNumber(text);
        // A stored value beyond the usual range is still shown as it is.
        const int shown = value ? static_cast<int>(*value) : box->minimum();
        box->setRange(std::min(shown, static_cast<int>(Row().min)),
                      std::max(shown, static_cast<int>(Row().max)));
        box->setValue(shown);
    }
    std::string ControlText() const override { return std::to_string(Box()->value()); }
};

class ChoiceField : public SettingField {
public:
    ChoiceField(int wireField, const QString& caption, Choices choices)
        : SettingField(wireField, new QComboBox, false, caption), choices_(std::move(choices)) {
        Fill(std::string());
        connect(List(), &QComboBox::currentIndexChanged, this, &ChoiceField::NotifyEdited);
    }

protected:
    QComboBox* List() const { return static_cast<QComboBox*>(Control()); }
    // The list's items, with the reported value added where the list lacks it.
    void Fill(const std::string& reported) {
        QComboBox* list = List();
        list->clear();
        bool found = reported.empty();
        for (const auto& [text, value] : choices_) {
            list->addItem(text, FromBytes(value));
            found = found || SameValue(value, reported);
        }
        if (!found) {
            list->addItem(FromBytes(console::Trim(reported)), FromBytes(reported));
        }
    }
    void SetControl(const std::string& text) override {
        Fill(text);
        QComboBox* list = List();
        for (int i = 0; i < list->count(); ++i) {
            if (SameValue(ToBytes(list->itemData(i).toString()), text)) {
                list->setCurrentIndex(i);
                return;
            }
        }
        list->setCurrentIndex(-1);
    }
    std::string ControlText() const override { return ToBytes(List()->currentData().toString()); }

private:
    Choices choices_;
};

class TextField : public SettingField {
public:
    TextField(int wireField, const QString& caption)
        : SettingField(wireField, new QLineEdit, false, caption) {
        QLineEdit* edit = Edit();
        SelectAllOnFocus::Install(edit);
        if (Row().view == SettingView::Port) {
            edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            edit->setValidator(new QRegularExpressionValidator(
                QRegularExpression(QStringLiteral("[0-9]{0,5}")), edit));
        }
        connect(edit, &QLineEdit::textChanged, this, &TextField::NotifyEdited);
    }

protected:
    QLineEdit* Edit() const { return static_cast<QLineEdit*>(Control()); }
    void SetControl(const std::string& text) override {
        Edit()->setText(FromBytes(text));
        // A long path or description is read from its start.
        Edit()->setCursorPosition(0);
    }
    std::string ControlText() const override { return ToBytes(Edit()->text()); }
};

Choices NumberChoices(std::initializer_list<long> values) {
    Choices choices;
    for (const long value : values) {
        choices.emplace_back(QString::number(value), std::to_string(value));
    }
    return choices;
}

}  // namespace

Choices BaudChoices() {
    Choices choices;
    for (const long baud : console::BaudRates()) {
        if (baud <= kHighestOfferedBaud) {
            choices.emplace_back(QString::number(baud), std::to_string(baud));
        }
    }
    return choices;
}

Choices BufferChoices() {
    return NumberChoices({256, 512, 1024, 2048, 4096, 8192, 16384});
}

Choices LineFormatChoices() {
    Choices choices;
    for (const char* format : {"n,8,1", "e,7,1", "o,7,1", "n,7,1", "e,8,1", "o,8,1", "n,8,2"}) {
        choices.emplace_back(QString::fromLatin1(format), format);
    }
    return choices;
}

Choices HandshakeChoices() {
    return {{QStringLiteral("None"), "0"},
            {QStringLiteral("XON/XOFF"), "1"},
            {QStringLiteral("RTS/CTS"), "2"},
            {QStringLiteral("RTS/CTS and XON/XOFF"), "3"}};
}

Choices PortTypeChoices() {
    return {{QStringLiteral("Server: listens for clients"), "Server"},
            {QStringLiteral("Client: connects to a remote host"), "Client"}};
}

std::unique_ptr<SettingField> SettingField::Make(int wireField, const QString& caption) {
    switch (RowOf(wireField).view) {
        case SettingView::Check:
            return std::make_unique<CheckField>(wireField, caption);
        case SettingView::Number:
            return std::make_unique<NumberField>(wireField, caption);
        case SettingView::Choice: {
            Choices choices;
            if (wireField == console::kFieldBaudRate) {
                choices = BaudChoices();
            } else if (wireField == console::kFieldLineFormat) {
                choices = LineFormatChoices();
            } else if (wireField == console::kFieldHandshaking) {
                choices = HandshakeChoices();
            } else if (wireField == console::kFieldServiceType) {
                choices = PortTypeChoices();
            } else {
                choices = BufferChoices();
            }
            return std::make_unique<ChoiceField>(wireField, caption, std::move(choices));
        }
        default:
            return std::make_unique<TextField>(wireField, caption);
    }
}

SettingField::SettingField(int wireField, QWidget* control, bool ownCaption, const QString& caption)
    : wireField_(wireField), row_(RowOf(wireField)), control_(control), problem_(new QLabel) {
    if (!ownCaption) {
        label_ = new QLabel(caption);
        label_->setBuddy(control_);
    }
    problem_->setWordWrap(true);
    problem_->setStyleSheet(QStringLiteral("color: #b00000;"));
    problem_->hide();
}

SettingField::~SettingField() = default;

QString SettingField::Caption() const {
    QString text = label_ != nullptr ? label_->text() : static_cast<QCheckBox*>(control_)->text();
    return text.remove(u'&');
}

void SettingField::NotifyEdited() {
    if (!filling_) {
        Q_EMIT Edited();
    }
}

void SettingField::Show(const std::string& reported, bool keepChanges) {
    const bool keep = keepChanges && Changed();
    const std::string operatorValue = ControlText();
    filling_ = true;
    reported_ = reported;
    SetControl(reported);
    shown_ = ControlText();
    if (keep && operatorValue != shown_) {
        SetControl(operatorValue);
    }
    filling_ = false;
}

std::string SettingField::UpdateText() const {
    if (Changed()) {
        return ControlText();
    }
    if (row_.kind == console::SettingKind::Boolean) {
        if (const std::optional<bool> value = console::ParseBooleanField(reported_)) {
            return console::RequestBooleanText(*value);
        }
    }
    return reported_;
}

void SettingField::Revert() {
    filling_ = true;
    SetControl(reported_);
    filling_ = false;
    SetProblem({});
}

bool SettingField::SameValue(const std::string& a, const std::string& b) const {
    switch (row_.kind) {
        case console::SettingKind::Boolean: {
            const auto x = console::ParseBooleanField(a);
            return x.has_value() && x == console::ParseBooleanField(b);
        }
        case console::SettingKind::Number: {
            const auto x = WholeNumber(a);
            return x.has_value() && x == WholeNumber(b);
        }
        case console::SettingKind::Text:
            // Reports carry texts trimmed.
            return console::Trimmed(a) == console::Trimmed(b);
        default:
            return console::EqualsIgnoringCase(console::Trimmed(a), console::Trimmed(b));
    }
}

void SettingField::SetProblem(const QString& problem) {
    problem_->setText(problem);
    problem_->setVisible(!problem.isEmpty());
}

bool SettingField::HasProblem() const {
    return !problem_->text().isEmpty();
}

}  // namespace tolvan
