#pragma once

#include <string>
#include <string_view>

#include "tests/e2e/BoundedReader.h"

namespace tolvan::e2e {

// A blocking-free TCP client for talking to the server on 127.0.0.1; every call is bounded.
class TcpClient : public BoundedReader {
public:
    TcpClient() = default;
    ~TcpClient() override;
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    // Connects to 127.0.0.1:port from the loopback address `from` (any of 127/8 works on
    // Linux); false when refused or not done in time.
    bool Connect(int port, Millis within = Millis(3000), const std::string& from = "127.0.0.1");
    // A receive buffer of `bytes` for the next Connect, so the server's sending backs up soon.
    void SetReceiveBuffer(int bytes) { receiveBuffer_ = bytes; }
    bool Write(std::string_view data, Millis within = Millis(2000));
    // Holds back what is written until Close(), so the data and the close leave together.
    bool Cork();
    // True once the peer has closed (reads what was still pending into Leftover()).
    bool WaitClosed(Millis within = Millis(3000));
    bool PeerClosed() const { return peerClosed_; }
    const std::string& Leftover() const { return leftover_; }
    void Close();
    // Ends the connection with a reset instead of an orderly close.
    void Reset();

protected:
    // Takes over a connected socket, closing the one before.
    void Adopt(int fd);

private:
    bool ReadSome(std::string& into, const Deadline& deadline) override;

    int fd_ = -1;
    int receiveBuffer_ = 0;
    bool peerClosed_ = false;
    std::string leftover_;
};

// A far end played by a test: a socket on 127.0.0.1 at a port of its own, bound at once (so
// connects to it are refused) and listening only when told. The connection it accepted is read
// and written as a TcpClient.
class TcpListener : public TcpClient {
public:
    TcpListener();  // throws when it cannot bind
    ~TcpListener() override;

    int Port() const { return port_; }
    bool Listen();
    // Takes the next connection, dropping the one before; false when none arrived in time.
    bool Accept(Millis within = Millis(3000));

private:
    int listener_ = -1;
    int port_ = 0;
};

// True when something listens on TCP `port` of this machine (IPv4 or IPv6), judged from
// /proc/net without connecting.
bool IsListening(int port);

// A base port b such that b..b+count-1 are free on this machine; throws when none is found.
int FindFreePortRange(int count);

}  // namespace tolvan::e2e
