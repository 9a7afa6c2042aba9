#pragma once

#include <cstddef>
#include <string>

#include "bench/Clock.h"

namespace tolvan::bench {

// One non-blocking TCP client on 127.0.0.1 with TCP_NODELAY, as an interactive client sets it.
class TcpClient {
public:
    TcpClient() = default;
    ~TcpClient();
    TcpClient(TcpClient&& other) noexcept;
    TcpClient& operator=(TcpClient&& other) noexcept;
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    // Connects within the time given; false when refused or late.
    bool Connect(int port, Millis within);
    int Fd() const { return fd_; }
    // Reads until exactly `text` has arrived; false on a difference, close or timeout.
    bool Expect(const std::string& text, Millis within);
    // Sends everything within the time given.
    bool SendAll(const char* data, std::size_t size, Millis within);
    void Close();

private:
    int fd_ = -1;
};

// True when something listens on TCP port `port` (any local address).
bool IsListening(int port);
// Waits until every port in [first, first + count) listens.
bool WaitListening(int first, int count, Millis within);
// A base port such that base .. base + count - 1 are all free.
int PickFreePorts(int count);

}  // namespace tolvan::bench
