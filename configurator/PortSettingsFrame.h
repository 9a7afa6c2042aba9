#pragma once

#include <QGroupBox>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tolvan {

// framePortSettings: the settings editor of the selected port, filled from a port settings
// report and read back into a port settings update.
class PortSettingsFrame : public QGroupBox {
    Q_OBJECT

public:
    explicit PortSettingsFrame(QWidget* parent = nullptr);

    // Sets every control from a report whose field 0 has already been checked. A field the
    // report lacks counts as empty text. The frame is then enabled and shown.
    void ShowPortSettings(const std::vector<std::string>& fields);

    // The 22 fields of a settings update for the port at position port whose list text is
    // portText ("Com3").
    std::string SettingsUpdatePayload(int port, const QString& portText) const;

Q_SIGNALS:
    void UpdateClicked();

private:
    QComboBox* AddList(const char* name, const QStringList& items);
    QLineEdit* AddText(const char* name);
    QWidget* BuildServerSettings();
    QWidget* BuildClientSettings();
    void BuildLayout();
    // lstEnabled chosen: "True" reads normally, anything else stands out in bold red.
    void OnEnabledChosen();
    // lstPortUse chosen: shows the sub-frame of the chosen type.
    void OnPortUseChosen();

    QComboBox* lstEnabled_;
    QComboBox* lstAccept_;
    QComboBox* lstDTR_;
    QComboBox* lstRTS_;
    QComboBox* lstIBuffer_;
    QComboBox* lstOBuffer_;
    QComboBox* lstSettings_;
    QComboBox* lstHandshake_;
    QComboBox* lstBaud_;
    QComboBox* lstPortUse_;
    QComboBox* lstMaxIdleTime_;
    QComboBox* lstConnections_;
    QComboBox* lstAttempts_;
    QComboBox* lstLockOut_;
    QComboBox* lstAllwaysConnect_;
    QLineEdit* txtPortDescription_;
    QLineEdit* txtLogFile_;
    QLineEdit* txtPassword_;
    QLineEdit* txtRemoteIP_;
    QLineEdit* txtRemotePort_;
    QLabel* lblEnabled_ = nullptr;
    QWidget* frameServerSettings_ = nullptr;
    QWidget* frameClientSettings_ = nullptr;
    QPushButton* cmdUpdate_;
};

}  // namespace tolvan
