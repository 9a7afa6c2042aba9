#pragma once

#include <QGroupBox>
#include <string>
#include <vector>

#include "configurator/Ask.h"

class QPushButton;
class QTableWidget;

namespace tolvan {

// frameConnections: the live data connections of the selected port in a table (number,
// address, remote port, state, connected since). Disconnect, the Delete key or a double click
// ask about the chosen connection, by name, and then ask the server to drop it.
class ConnectionList : public QGroupBox {
    Q_OBJECT

public:
    explicit ConnectionList(QWidget* parent = nullptr);

    // Fills the table from a connection list report whose field 0 has already been checked,
    // then enables and shows the frame. Each connection has five fields, or six where the
    // server adds the remote port. The chosen connection stays chosen.
    void ShowConnectionList(const std::vector<std::string>& fields, int portNumber);
    // The number of connections in a connection list report.
    static int ConnectionCount(const std::vector<std::string>& fields);

    void SetAsk(Ask ask) { ask_ = std::move(ask); }
    QTableWidget* Table() const { return lstConnectionInfo_; }
    QPushButton* DisconnectButton() const { return cmdDisconnect_; }

Q_SIGNALS:
    void DisconnectRequested(int connNo);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AskToDisconnect();
    void OnSelectionChanged();

    QTableWidget* lstConnectionInfo_;
    QPushButton* cmdDisconnect_;
    int portNumber_ = 0;
    Ask ask_;
};

}  // namespace tolvan
