#pragma once

#include <string>
#include <string_view>

#include "tests/e2e/Deadline.h"

namespace tolvan::e2e {

// A blocking-free TCP client for talking to the server on 127.0.0.1; every call is bounded.
class TcpClient {
public:
    TcpClient() = default;
    ~TcpClient();
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    // Connects to 127.0.0.1:port; false when refused or not done in time.
    bool Connect(int port, Millis within = Millis(3000));
    bool Write(std::string_view data, Millis within = Millis(2000));
    // Reads until `pattern` has arrived, the peer closed or the time is up.
    std::string ReadUntil(std::string_view pattern, Millis within = Millis(3000));
    std::string ReadBytes(std::size_t count, Millis within = Millis(3000));
    // Everything that arrives within the given time.
    std::string ReadFor(Millis within);
    // True once the peer has closed (reads what was still pending into Leftover()).
    bool WaitClosed(Millis within = Millis(3000));
    bool PeerClosed() const { return peerClosed_; }
    const std::string& Leftover() const { return leftover_; }
    void Close();

private:
    bool ReadSome(std::string& into, const Deadline& deadline);

    int fd_ = -1;
    bool peerClosed_ = false;
    std::string leftover_;
};

// True when something listens on TCP `port` of this machine (IPv4 or IPv6), judged from
// /proc/net without connecting.
bool IsListening(int port);

// A base port b such that b..b+count-1 are free on this machine; throws when none is found.
int FindFreePortRange(int count);

}  // namespace tolvan::e2e
