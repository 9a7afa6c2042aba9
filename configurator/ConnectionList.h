#pragma once

#include <QGroupBox>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QListWidget;

namespace tolvan {

// frameConnections: the live data connections of the selected port, one fixed-pitch line
// each under a header and a separator; a double click asks and then asks the server to drop
// the connection.
class ConnectionList : public QGroupBox {
    Q_OBJECT

public:
    // Asks the operator whether to drop the connection; true means Yes.
    using Question = std::function<bool(QWidget* parent)>;

    static constexpr int kLoadSeparator = 44;
    static constexpr int kReportSeparator = 46;

    explicit ConnectionList(QWidget* parent = nullptr);

    static QString HeaderLine();
    // Number padded to 6, time padded to 23, state, a blank, address; a longer value is
    // shown whole and only moves the rest of its own line.
    static QString ConnectionLine(const QString& connNo, const QString& time, const QString& state,
                                  const QString& address);

    // Empties the list down to the header and a separator of separatorLength dashes.
    void ClearList(int separatorLength);
    // Fills the list from a connection list report whose field 0 has already been checked,
    // then enables and shows the frame.
    void ShowConnectionList(const std::vector<std::string>& fields);

    void SetQuestion(Question question) { question_ = std::move(question); }
    QListWidget* List() const { return lstConnectionInfo_; }

Q_SIGNALS:
    void DisconnectRequested(int connNo);
    // The hint label above the list was clicked.
    void HintClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UnselectHeaderLines();
    void OnDoubleClick();

    QLabel* hint_;
    QListWidget* lstConnectionInfo_;
    Question question_;
};

}  // namespace tolvan
