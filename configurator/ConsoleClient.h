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
    void SendConnectionListRequest(const std::string& portText);
    void SendSettingsUpdate(const std::string& payload);
    void SendDisconnectRequest(int port, int connNo);
    void SendTraceSwitch(int port, bool on);
    void SendPortStateRequest(int port);

    // Appends received bytes to the receive buffer and dispatches every complete frame.
    void ReceiveConsoleData(std::string_view bytes);
    void DispatchReport(const std::string& code, const std::string& payload);

Q_SIGNALS:
    // The console connection is up; the version and port list requests follow at once.
    void ServerConnected();
    // The socket closed or failed.
    void ServerDisconnected();

    void PortSettingsReport(const tolvan::ReportFields& fields);
    void ConnectionCountNotice(const tolvan::ReportFields& fields);
    void PortListReport(const tolvan::ReportFields& fields);
    void ConnectionListReport(const tolvan::ReportFields& fields);
    void PortStatisticsReport(const tolvan::ReportFields& fields);
    // ShowTraceEvent: port position, COM number text, kind, text.
    void TraceEventReport(int port, const std::string& comText, int kind, const std::string& text);
    void VersionReport(const std::string& version, const std::string& releaseDate);
    // Port, state, until, detail.
    void PortStateReport(const tolvan::ReportFields& fields);
    // The server will not serve this connection and says why; it closes the connection next.
    void ConsoleRefused(const std::string& reason, const std::string& text);

private:
    void SendConsoleMessage(std::string_view code, const std::string& payload);
    void OnConnected();
    void OnReadyRead();
    void OnTimer1();

    const ServerSettings& settings_;
    QTcpSocket server_;
    QTimer timer1_;
    // One receive buffer for the life of the program, kept across connections.
    console::FrameDecoder decoder_;
    bool exitRequested_ = false;
    std::function<void()> exitHandler_;
};

}  // namespace tolvan
