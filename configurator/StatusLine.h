#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace tolvan {

// The foot of the main window. It always says where things stand: connected to which address,
// or why not and when the next try comes (with Start service where the service is not
// running); and how the operator's last action ended.
class StatusLine : public QWidget {
    Q_OBJECT

public:
    explicit StatusLine(QWidget* parent = nullptr);

    void ShowConnecting(const QString& address);
    void ShowConnected(const QString& address);
    // reason: a sentence; offerStart shows Start service.
    void ShowNotConnected(const QString& reason, bool offerStart);
    // While not connected: the seconds until the next try.
    void ShowNextTry(int milliseconds);
    // How the last action ended; a failure stands out.
    void ShowResult(const QString& text, bool ok);
    // Start service is being carried out.
    void SetStarting(bool starting);

    // Everything the line says, as one text.
    QString Text() const;
    QPushButton* StartButton() const { return cmdStart_; }
    QPushButton* RetryButton() const { return cmdRetry_; }

Q_SIGNALS:
    void StartServiceClicked();
    void RetryClicked();

private:
    QLabel* connection_;
    QLabel* nextTry_;
    QPushButton* cmdStart_;
    QPushButton* cmdRetry_;
    QLabel* result_;
};

}  // namespace tolvan
