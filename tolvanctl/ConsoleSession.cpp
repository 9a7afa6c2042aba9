#include "tolvanctl/ConsoleSession.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "console_protocol/Messages.h"
#include "tolvanctl/CtlError.h"

namespace tolvan::ctl {

namespace {

constexpr int kConnectMs = 5000;

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Connects one address without blocking for longer than the time left; the socket or -1
// with errno set.
int ConnectTo(const addrinfo& address, Clock::time_point end) {
    const int fd = ::socket(address.ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0) {
        return fd;
    }
    if (errno == EINPROGRESS) {
        pollfd waiting{fd, POLLOUT, 0};
        const int ready = ::poll(&waiting, 1, MsLeft(end));
        int error = ETIMEDOUT;
        socklen_t length = sizeof error;
        if (ready == 1) {
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        }
        if (error == 0) {
            return fd;
        }
        errno = error;
    }
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return -1;
}

std::string RefusalText(const console::Frame& frame) {
    std::vector<std::string> fields = console::SplitFields(frame.payload, 2);
    fields.resize(2);
    return console::DescribeRefusal(fields[0], fields[1]);
}

}  // namespace

ConsoleSession::ConsoleSession(const std::string& host, int port)
    : where_(host + ":" + std::to_string(port)) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int resolved = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (resolved != 0) {
        throw Failure("cannot find host '" + host + "': " + ::gai_strerror(resolved));
    }
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(kConnectMs);
    int error = ECONNREFUSED;
    for (const addrinfo* address = found; address != nullptr && !fd_.Valid();
         address = address->ai_next) {
        fd_.Reset(ConnectTo(*address, end));
        if (!fd_.Valid()) {
            error = errno;
        }
    }
    ::freeaddrinfo(found);
    if (fd_.Valid()) {
        return;
    }
    if (error == ECONNREFUSED) {
        throw Failure("not running: no TolvanServer console on " + where_ +
                      " (see systemctl status TolvanServer)");
    }
    throw Failure("cannot reach the console on " + where_ + ": " + std::strerror(error));
}

void ConsoleSession::Send(std::string_view code, std::string_view payload) {
    const std::string message = console::FrameMessage(code, payload) + "\r\n";
    std::string_view rest = message;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(kAnswerMs);
    while (!rest.empty()) {
        const ssize_t sent = ::send(fd_.Get(), rest.data(), rest.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            rest.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && MsLeft(end) > 0) {
            pollfd waiting{fd_.Get(), POLLOUT, 0};
            ::poll(&waiting, 1, MsLeft(end));
            continue;
        }
        // A server that refused this connection has said why before it closed.
        const int error = errno;
        while (Receive(0, -1)) {
        }
        while (Decoded()) {
        }
        throw Failure("the console connection to " + where_ +
                      " was lost: " + std::strerror(sent < 0 ? error : ETIMEDOUT));
    }
}

console::Frame ConsoleSession::WaitFor(const std::function<bool(const console::Frame&)>& wanted,
                                       int withinMs) {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(withinMs);
    for (;;) {
        while (std::optional<console::Frame> frame = Decoded()) {
            if (wanted(*frame)) {
                return std::move(*frame);
            }
        }
        if (!Receive(MsLeft(end), -1)) {
            throw Failure("no answer from the server on " + where_ + " within " +
                          std::to_string(withinMs / 1000) + " seconds");
        }
    }
}

console::Frame ConsoleSession::WaitForPort(std::string_view code, int port, int withinMs) {
    const std::string prefix = std::to_string(port) + "|";
    return WaitFor(
        [&](const console::Frame& frame) {
            return frame.code == code &&
                   (frame.payload.starts_with(prefix) || frame.payload == std::to_string(port));
        },
        withinMs);
}

std::optional<console::Frame> ConsoleSession::NextUntil(int stopFd) {
    for (;;) {
        if (std::optional<console::Frame> frame = Decoded()) {
            return frame;
        }
        if (!Receive(-1, stopFd)) {
            return std::nullopt;
        }
    }
}

bool ConsoleSession::Receive(int withinMs, int stopFd) {
    pollfd waiting[2] = {{fd_.Get(), POLLIN, 0}, {stopFd, POLLIN, 0}};
    int ready = 0;
    do {
        ready = ::poll(waiting, stopFd >= 0 ? 2 : 1, withinMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0 || (stopFd >= 0 && (waiting[1].revents & POLLIN) != 0)) {
        return false;
    }
    char buffer[16384];
    const ssize_t got = ::recv(fd_.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (got > 0) {
        decoder_.Append(std::string_view(buffer, static_cast<std::size_t>(got)));
        return true;
    }
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
        return true;
    }
    // Closed: what came before the close may say why.
    while (Decoded()) {
    }
    throw Failure("the server closed the console connection on " + where_);
}

std::optional<console::Frame> ConsoleSession::Decoded() {
    std::optional<console::Frame> frame = decoder_.Next();
    if (frame && frame->code == console::kCodeRefused) {
        throw Failure(RefusalText(*frame));
    }
    return frame;
}

}  // namespace tolvan::ctl
