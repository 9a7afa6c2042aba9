#include "bench/TcpClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <utility>

namespace tolvan::bench {

TcpClient::~TcpClient() {
    Close();
}

TcpClient::TcpClient(TcpClient&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TcpClient& TcpClient::operator=(TcpClient&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool TcpClient::Connect(int port, Millis within) {
    Close();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        return false;
    }
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return true;
    }
    if (errno != EINPROGRESS) {
        Close();
        return false;
    }
    pollfd pfd{fd_, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    if (::poll(&pfd, 1, Deadline(within).PollMillis()) != 1 ||
        ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        Close();
        return false;
    }
    return true;
}

bool TcpClient::Expect(const std::string& text, Millis within) {
    const Deadline deadline(within);
    std::string got;
    while (got.size() < text.size()) {
        pollfd pfd{fd_, POLLIN, 0};
        if (::poll(&pfd, 1, deadline.PollMillis()) != 1) {
            return false;
        }
        char buffer[256];
        const ssize_t n = ::recv(fd_, buffer, std::min(sizeof buffer, text.size() - got.size()), 0);
        if (n <= 0) {
            return false;
        }
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got == text;
}

bool TcpClient::SendAll(const char* data, std::size_t size, Millis within) {
    const Deadline deadline(within);
    while (size > 0) {
        const ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        pollfd pfd{fd_, POLLOUT, 0};
        if (::poll(&pfd, 1, deadline.PollMillis()) != 1) {
            return false;
        }
    }
    return true;
}

void TcpClient::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool IsListening(int port) {
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);  // header
        while (std::getline(in, line)) {
            // "sl local_address rem_address st ...": local ends in :PORT, state 0A is LISTEN.
            char local[64];
            char remote[64];
            char state[8];
            if (std::sscanf(line.c_str(), "%*s %63s %63s %7s", local, remote, state) == 3 &&
                std::string(local).ends_with(wanted) && std::string(state) == "0A") {
                return true;
            }
        }
    }
    return false;
}

bool WaitListening(int first, int count, Millis within) {
    const Deadline deadline(within);
    for (int port = first; port < first + count; ++port) {
        while (!IsListening(port)) {
            if (deadline.Passed()) {
                return false;
            }
            std::this_thread::sleep_for(Millis(5));
        }
    }
    return true;
}

namespace {

bool PortFree(int port) {
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const int zero = 0;
    ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(static_cast<uint16_t>(port));
    address.sin6_addr = in6addr_any;
    const bool free = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return free;
}

}  // namespace

int PickFreePorts(int count) {
    // Below the usual ephemeral range, so outgoing connections of the bench never collide.
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> pick(20000, 32000 - count);
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int base = pick(random);
        bool free = true;
        for (int port = base; port < base + count && free; ++port) {
            free = PortFree(port);
        }
        if (free) {
            return base;
        }
    }
    return -1;
}

}  // namespace tolvan::bench
