#pragma once

#include <QGroupBox>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QStackedWidget;

namespace tolvan {

class SettingField;

// framePortSettings: the settings editor of the selected port. It shows every field of the
// port settings report as the server stores it and builds the update from it: a field the
// operator did not change goes back exactly as reported. Changed fields are marked; Revert
// undoes them.
class PortSettingsFrame : public QGroupBox {
    Q_OBJECT

public:
    explicit PortSettingsFrame(QWidget* parent = nullptr);
    ~PortSettingsFrame() override;

    // Shows a report whose field 0 has already been checked; a field it lacks counts as empty.
    // A report for the COM port already shown keeps the operator's changes. An answer to an
    // update is checked against it (UpdateAnswered). The frame is then enabled and shown.
    void ShowPortSettings(const std::vector<std::string>& fields);
    // Shows the settings kept in the store only (read-only: they are edited in the store).
    void ShowStoredOnly(const QString& text);
    // Lets go of the port shown, its changes included.
    void Forget();
    // The COM number shown; 0 before the first report.
    int PortNumber() const { return portNumber_; }

    bool HasChanges() const;
    // The captions of the changed fields, in the order of the editor.
    QStringList ChangedCaptions() const;
    void Revert();
    // Checks the fields and marks those that cannot be sent; true when none is marked.
    bool Validate();
    // The 22 fields of a settings update for the port at position portIndex.
    std::vector<std::string> UpdateFields(int portIndex) const;
    // The update was sent: the next report answers it.
    void AwaitAnswer(const std::vector<std::string>& sent);

    // The control of a field position (console::kField...).
    SettingField& Field(int wireField) const;
    // Every control and button in the order the Tab key visits them.
    QList<QWidget*> KeyboardOrder() const;

Q_SIGNALS:
    void UpdateClicked();
    // The report that followed an update: whether the server took every changed field, and a
    // sentence for the operator.
    void UpdateAnswered(bool taken, const QString& message);

private:
    void AddField(int wireField, const QString& caption);
    void BuildLayout();
    void OnEdited();
    void MarkChanges();
    void ShowPortType();
    void ShowEnabled();
    void CheckAnswer(const std::vector<std::string>& fields);
    bool ClientMode() const;

    std::vector<std::unique_ptr<SettingField>> fields_;
    QStackedWidget* modeSettings_ = nullptr;
    QLabel* lblStoredOnly_ = nullptr;
    QPushButton* cmdRevert_ = nullptr;
    QPushButton* cmdUpdate_ = nullptr;
    int portNumber_ = 0;
    int changes_ = 0;
    std::vector<std::string> awaiting_;  // the update sent, until its answer
};

// Why a remote host text cannot be used, or empty: a host name or an IPv4 or IPv6 address.
QString HostProblem(const QString& host);
// Why a port text cannot be used, or empty: a whole number from lowest to 65535.
QString PortProblem(const QString& port, int lowest);

}  // namespace tolvan
