#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <string>
#include <string_view>
#include <vector>

#include "console_protocol/Frame.h"

namespace tolvan::test {

// A scripted stand-in for the server's console: listens on 127.0.0.1, takes one configurator,
// records every frame it sends and sends frames back on request.
class ConsolePeer {
public:
    ConsolePeer();
    ~ConsolePeer();

    // Listens on the given port, or on a free one for 0.
    bool Listen(quint16 port = 0);
    quint16 Port() const { return port_; }
    // Drops the configurator and stops listening.
    void Stop();

    bool WaitForClient(int timeoutMs = 5000);
    bool HasClient() const;

    void Send(std::string_view code, std::string_view payload);
    void SendRaw(std::string_view bytes);

    // Waits until at least count frames have arrived since the last ClearReceived.
    bool WaitForFrames(std::size_t count, int timeoutMs = 5000);
    // Each received frame as it was framed: "D2|1|0".
    const std::vector<std::string>& Frames() const { return frames_; }
    // Every byte received since the last ClearReceived.
    const std::string& Raw() const { return raw_; }
    void ClearReceived();

    // Asks the configurator's side to send something known, then waits for it: everything
    // the configurator sent before has arrived by then. Returns the frames before the marker.
    std::vector<std::string> FramesBefore(const std::string& markerFrame, int timeoutMs = 5000);

private:
    void OnReadyRead();

    QTcpServer server_;
    QTcpSocket* client_ = nullptr;
    quint16 port_ = 0;
    console::FrameDecoder decoder_;
    std::vector<std::string> frames_;
    std::string raw_;
};

}  // namespace tolvan::test
