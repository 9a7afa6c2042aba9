#pragma once

#include <QObject>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "console_protocol/Frame.h"

namespace tolvan {

class ServerSettings;

// Report fields as split from a payload, field 0 first.
using ReportFields = std::vector<std::string>;

// The configurator's one console connection to the server on 127.0.0.1:BaseTCPPort: keeps
// it up, sends the requests and hands every report on as a signal. Requests made while not
// connected are dropped.
class ConsoleClient : public QObject {
    Q_OBJECT

public:
    static constexpr int kReconnectInterval = 5000;
    static constexpr int kExitInterval = 500;
    static constexpr quint16 kDefaultBasePort = 5000;

    explicit ConsoleClient(const ServerSettings& settings, QObject* parent = nullptr);
    ~ConsoleClient() override;

    // Closes the socket, reads BaseTCPPort again and connects.
    void ConnectToServer();
    void Close();
    bool IsConnected() const;
    // The base port as stored; a value that is no port number gives kDefaultBasePort.
    quint16 BasePort() const;
    // "127.0.0.1:5000": where the last attempt went.
    QString Address() const;
    // Milliseconds until Timer1 tries again.
    int NextAttemptIn() const { return timer1_.remainingTime(); }

    // Why the last attempt or connection ended, for the operator.
    struct Failure {
        // The server's refusal ("not-permitted", "full") and its text; empty otherwise.
        std::string refusal;
        std::string refusalText;
        // The socket's error when the server did not refuse.
        QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError;
        QString errorText;
    };
    const Failure& LastFailure() const { return failure_; }

    // Makes the next Timer1 tick, about half a second from now, end the program.
    void RequestExit();
    bool ExitRequested() const { return exitRequested_; }
    // What "the program ends" does; QCoreApplication::quit by default.
    void SetExitHandler(std::function<void()> handler) { exitHandler_ = std::move(handler); }
    const QTimer& Timer1() const { return timer1_; }

    void SendPortListRequest();
    void SendVersionRequest();
    void SendPortSettingsRequest(int port);
    void SendStatisticsRequest(int port);
    void SendStatisticsReset(int port);
    void SendConnectionListRequest(int port);
    void SendSettingsUpdate(const std::string& payload);
    void SendDisconnectRequest(int port, int connNo);
    void SendTraceSwitch(int port, bool on);
    // One port's state, or every port's for port < 0.
    void SendPortStateRequest(int port);

    // Appends received bytes to the receive buffer and dispatches every complete frame.
    void ReceiveConsoleData(std::string_view bytes);
    void DispatchReport(const std::string& code, const std::string& payload);

Q_SIGNALS:
    // The console connection is up; the version and port list requests follow at once.
    void ServerConnected();
    // The first report of a connection has arrived: the server serves this console.
    void ServerAnswered();
    // The socket closed or failed, or the server refused the console (see LastFailure).
    void ServerDisconnected();

    void PortSettingsReport(const tolvan::ReportFields& fields);
    void ConnectionCountNotice(const tolvan::ReportFields& fields);
    void PortListReport(const tolvan::ReportFields& fields);
    void ConnectionListReport(const tolvan::ReportFields& fields);
    void PortStatisticsReport(const tolvan::ReportFields& fields);
    // ShowTraceEvent: port position, COM number text, kind, text.
    void TraceEventReport(int port, const std::string& comText, int kind, const std::string& text);
    void VersionReport(const std::string& version, const std::string& releaseDate);
    void PortStateReport(const tolvan::ReportFields& fields);

private:
    void SendConsoleMessage(std::string_view code, const std::string& payload);
    void OnConnected();
    void OnReadyRead();
    void OnTimer1();
    void OnRefused(const std::string& payload);

    const ServerSettings& settings_;
    QTcpSocket server_;
    QTimer timer1_;
    // One receive buffer for the life of the program, kept across connections.
    console::FrameDecoder decoder_;
    quint16 port_ = kDefaultBasePort;
    Failure failure_;
    bool answered_ = false;
    bool exitRequested_ = false;
    std::function<void()> exitHandler_;
};

}  // namespace tolvan
