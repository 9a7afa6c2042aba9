#include "tests/e2e/TcpClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace tolvan::e2e {

TcpClient::~TcpClient() {
    Close();
}

void TcpClient::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void TcpClient::Reset() {
    const linger abort{1, 0};
    if (fd_ >= 0) {
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    Close();
}

void TcpClient::Adopt(int fd) {
    Close();
    peerClosed_ = false;
    leftover_.clear();
    fd_ = fd;
}

bool TcpClient::Connect(int port, Millis within, const std::string& from) {
    Adopt(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd_ < 0) {
        return false;
    }
    if (receiveBuffer_ > 0) {
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer_, sizeof receiveBuffer_);
    }
    sockaddr_in source{};
    source.sin_family = AF_INET;
    if (inet_pton(AF_INET, from.c_str(), &source.sin_addr) != 1 ||
        ::bind(fd_, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0) {
        Close();
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        return true;
    }
    if (errno != EINPROGRESS) {
        Close();
        return false;
    }
    pollfd fd{fd_, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    if (poll(&fd, 1, static_cast<int>(within.count())) != 1 ||
        getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        Close();
        return false;
    }
    return true;
}

bool TcpClient::Write(std::string_view data, Millis within) {
    const Deadline deadline(within);
    while (!data.empty() && fd_ >= 0) {
        const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        pollfd fd{fd_, POLLOUT, 0};
        if (deadline.Passed() || poll(&fd, 1, deadline.LeftMs()) < 0) {
            return false;
        }
    }
    return data.empty();
}

bool TcpClient::Cork() {
    const int on = 1;
    return fd_ >= 0 && ::setsockopt(fd_, IPPROTO_TCP, TCP_CORK, &on, sizeof on) == 0;
}

bool TcpClient::ReadSome(std::string& into, const Deadline& deadline) {
    if (fd_ < 0 || peerClosed_) {
        return false;
    }
    pollfd fd{fd_, POLLIN, 0};
    const int ready = poll(&fd, 1, deadline.LeftMs());
    if (ready <= 0) {
        return ready == 0 || errno == EINTR;
    }
    char buffer[4096];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n > 0) {
        into.append(buffer, static_cast<std::size_t>(n));
        return true;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return true;
    }
    peerClosed_ = true;
    return false;
}

bool TcpClient::WaitClosed(Millis within) {
    const Deadline deadline(within);
    while (!peerClosed_ && !deadline.Passed()) {
        if (!ReadSome(leftover_, deadline) && !peerClosed_) {
            break;
        }
    }
    return peerClosed_;
}

TcpListener::TcpListener() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listener_);
        throw std::runtime_error("cannot bind a listener on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
}

TcpListener::~TcpListener() {
    ::close(listener_);
}

bool TcpListener::Listen() {
    return ::listen(listener_, 4) == 0;
}

bool TcpListener::Accept(Millis within) {
    pollfd waiting{listener_, POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(within.count())) != 1) {
        return false;
    }
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    Adopt(fd);
    return fd >= 0;
}

namespace {

// Listening sockets in one /proc/net table (state 0A), by local port.
bool ListeningIn(const char* table, int port) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        const auto colon = local.rfind(':');
        if (colon == std::string::npos || state != "0A") {
            continue;
        }
        if (std::stoi(local.substr(colon + 1), nullptr, 16) == port) {
            return true;
        }
    }
    return false;
}

bool CanBind(int port) {
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    // Dual-stack on all addresses covers both the data listeners and 127.0.0.1.
    int off = 0;
    setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(static_cast<uint16_t>(port));
    address.sin6_addr = in6addr_any;
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

bool IsListening(int port) {
    return ListeningIn("/proc/net/tcp", port) || ListeningIn("/proc/net/tcp6", port);
}

int FindFreePortRange(int count) {
    std::random_device entropy;
    std::mt19937 random(entropy());
    // Below the kernel's ephemeral range, so clients' own ports do not land in it.
    std::uniform_int_distribution<int> base(20000, 31000);
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int first = base(random);
        bool free = true;
        for (int port = first; port < first + count && free; ++port) {
            free = CanBind(port) && !IsListening(port);
        }
        if (free) {
            return first;
        }
    }
    throw std::runtime_error("no free range of TCP ports");
}

}  // namespace tolvan::e2e
