#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace tolvan {

// One configurator per user: the first instance listens on a local socket, a later one asks
// it to come back to the screen and then ends.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    explicit SingleInstance(QString name = DefaultName(), QObject* parent = nullptr);

    // "TolvanServerConfig-<uid>".
    static QString DefaultName();

    // Sends "restore" to a running instance; true when one took it.
    bool SignalRunningInstance(int timeoutMs = 1000) const;
    // Becomes the running instance (a socket left by a crashed one is taken over).
    bool Listen();

Q_SIGNALS:
    // A later instance asked for the window.
    void RestoreRequested();

private:
    void OnNewConnection();

    QString name_;
    QLocalServer server_;
};

}  // namespace tolvan
