#include "configurator/ConsoleClient.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QSignalBlocker>
#include <algorithm>
#include <cstdint>

#include "configurator/ServerSettings.h"
#include "console_protocol/Messages.h"
#include "console_protocol/PortSettingsTable.h"
#include "console_protocol/TextForms.h"

namespace tolvan {
namespace {

// Field i, or empty text when the report is short.
std::string FieldOr(const ReportFields& fields, std::size_t i) {
    return i < fields.size() ? fields[i] : std::string();
}

int ClampedNumber(const std::string& text, long long low, long long high) {
    return static_cast<int>(std::clamp(console::LeadingNumber(text), low, high));
}

}  // namespace

ConsoleClient::ConsoleClient(const ServerSettings& settings, QObject* parent)
    : QObject(parent), settings_(settings), server_(this), timer1_(this) {
    server_.setObjectName(QStringLiteral("Server"));
    timer1_.setObjectName(QStringLiteral("Timer1"));
    connect(&server_, &QTcpSocket::connected, this, &ConsoleClient::OnConnected);
    connect(&server_, &QTcpSocket::readyRead, this, &ConsoleClient::OnReadyRead);
    connect(&server_, &QTcpSocket::disconnected, this, &ConsoleClient::ServerDisconnected);
    connect(&server_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        failure_.error = e;
        failure_.errorText = server_.errorString();
        // A closing connection reports the remote close as an error first; the disconnected
        // signal that follows tells the same story, so only report errors of other states.
        if (server_.state() != QAbstractSocket::ConnectedState) {
            Q_EMIT ServerDisconnected();
        }
    });
    timer1_.setInterval(kReconnectInterval);
    connect(&timer1_, &QTimer::timeout, this, &ConsoleClient::OnTimer1);
    timer1_.start();
}

ConsoleClient::~ConsoleClient() {
    // Closing on the way out is no lost connection for whoever still listens.
    Close();
}

quint16 ConsoleClient::BasePort() const {
    const std::string text = settings_.GetServerSetting("Settings", "BaseTCPPort", "5000");
    const std::optional<long long> port = console::RoundedInteger(text, 1, 65535);
    return port ? static_cast<quint16>(*port) : kDefaultBasePort;
}

QString ConsoleClient::Address() const {
    return QStringLiteral("127.0.0.1:") + QString::number(port_);
}

void ConsoleClient::ConnectToServer() {
    Close();
    port_ = BasePort();
    answered_ = false;
    failure_ = {};
    // An attempt asked for now starts the five seconds again.
    if (!exitRequested_) {
        timer1_.start(kReconnectInterval);
    }
    server_.connectToHost(QHostAddress(QHostAddress::LocalHost), port_);
}

void ConsoleClient::Close() {
    // A close asked for here is not a lost connection: keep abort() from reporting one.
    const QSignalBlocker blocker(server_);
    // Requests sent just before (the trace switches of a lost connection) still go out.
    if (server_.state() == QAbstractSocket::ConnectedState) {
        server_.flush();
    }
    server_.abort();
}

bool ConsoleClient::IsConnected() const {
    return server_.state() == QAbstractSocket::ConnectedState;
}

void ConsoleClient::RequestExit() {
    exitRequested_ = true;
    timer1_.start(kExitInterval);
}

void ConsoleClient::OnTimer1() {
    if (exitRequested_) {
        timer1_.stop();
        if (exitHandler_) {
            exitHandler_();
        } else {
            QCoreApplication::quit();
        }
        return;
    }
    if (!IsConnected()) {
        ConnectToServer();
    }
}

void ConsoleClient::OnConnected() {
    Q_EMIT ServerConnected();
    SendVersionRequest();
    SendPortListRequest();
}

void ConsoleClient::OnReadyRead() {
    const QByteArray bytes = server_.readAll();
    ReceiveConsoleData(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void ConsoleClient::SendConsoleMessage(std::string_view code, const std::string& payload) {
    if (!IsConnected()) {
        return;
    }
    const std::string frame = console::FrameMessage(code, payload) + "\r\n";
    server_.write(frame.data(), static_cast<qint64>(frame.size()));
}

void ConsoleClient::SendPortListRequest() {
    SendConsoleMessage(console::kCodePortList, {});
}

void ConsoleClient::SendVersionRequest() {
    SendConsoleMessage(console::kCodeVersion, {});
}

void ConsoleClient::SendPortSettingsRequest(int port) {
    SendConsoleMessage(console::kCodeSettingsRequest, std::to_string(port));
}

void ConsoleClient::SendStatisticsRequest(int port) {
    SendConsoleMessage(console::kCodeStatistics, std::to_string(port));
}

void ConsoleClient::SendStatisticsReset(int port) {
    SendConsoleMessage(console::kCodeStatisticsReset, std::to_string(port));
}

void ConsoleClient::SendConnectionListRequest(int port) {
    SendConsoleMessage(console::kCodeConnectionList, std::to_string(port));
}

void ConsoleClient::SendSettingsUpdate(const std::string& payload) {
    SendConsoleMessage(console::kCodePortSettings, payload);
}

void ConsoleClient::SendDisconnectRequest(int port, int connNo) {
    SendConsoleMessage(console::kCodeDisconnect, console::DisconnectPayload(port, connNo));
}

void ConsoleClient::SendTraceSwitch(int port, bool on) {
    SendConsoleMessage(console::kCodeTrace, console::TraceSwitchPayload(port, on));
}

void ConsoleClient::SendPortStateRequest(int port) {
    SendConsoleMessage(console::kCodePortState, port < 0 ? std::string() : std::to_string(port));
}

void ConsoleClient::ReceiveConsoleData(std::string_view bytes) {
    decoder_.Append(bytes);
    while (std::optional<console::Frame> frame = decoder_.Next()) {
        DispatchReport(frame->code, frame->payload);
    }
}

void ConsoleClient::OnRefused(const std::string& payload) {
    const ReportFields fields = console::SplitFields(payload, console::kRefusalFieldCount);
    failure_.refusal = console::Trim(FieldOr(fields, 0));
    failure_.refusalText = FieldOr(fields, 1);
    // The server closes a console it will not serve; nothing more is read from it.
    Close();
    Q_EMIT ServerDisconnected();
}

void ConsoleClient::DispatchReport(const std::string& code, const std::string& payload) {
    const std::string upper = console::ToUpper(code);
    if (upper == console::kCodeRefused) {
        OnRefused(payload);
        return;
    }
    if (!answered_ && IsConnected()) {
        answered_ = true;
        Q_EMIT ServerAnswered();
    }
    if (upper == console::kCodePortSettings) {
        Q_EMIT PortSettingsReport(console::SplitFields(payload, console::kSettingsFieldCount));
    } else if (upper == console::kCodeConnectionCount) {
        Q_EMIT ConnectionCountNotice(console::SplitFields(payload));
    } else if (upper == console::kCodePortList) {
        Q_EMIT PortListReport(console::SplitFields(payload));
    } else if (upper == console::kCodeConnectionList) {
        Q_EMIT ConnectionListReport(console::SplitFields(payload));
    } else if (upper == console::kCodeStatistics) {
        Q_EMIT PortStatisticsReport(console::SplitFields(payload));
    } else if (upper == console::kCodeTrace) {
        const ReportFields fields = console::SplitFields(payload, console::kTraceFieldCount);
        Q_EMIT TraceEventReport(
            ClampedNumber(FieldOr(fields, 0), -32768, 32767), FieldOr(fields, 1),
            ClampedNumber(FieldOr(fields, 2), INT32_MIN, INT32_MAX), FieldOr(fields, 3));
    } else if (upper == console::kCodeVersion) {
        const ReportFields fields = console::SplitFields(payload);
        Q_EMIT VersionReport(FieldOr(fields, 0), FieldOr(fields, 1));
    } else if (upper == console::kCodePortState) {
        Q_EMIT PortStateReport(console::SplitFields(payload, console::kPortStateFieldCount));
    }
}

}  // namespace tolvan
