#include "tests/e2e/PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace tolvan::e2e {

PseudoTerminal::PseudoTerminal() {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    const char* name = ttyname(slave_);
    if (name == nullptr) {
        throw std::runtime_error("ttyname failed");
    }
    slavePath_ = name;
    // Raw until the server sets its own line settings, so nothing is echoed or translated.
    termios raw{};
    if (tcgetattr(slave_, &raw) == 0) {
        cfmakeraw(&raw);
        tcsetattr(slave_, TCSANOW, &raw);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
}

PseudoTerminal::~PseudoTerminal() {
    CloseSlave();
    CloseMaster();
}

bool PseudoTerminal::LockSlave() {
    return slave_ >= 0 && flock(slave_, LOCK_EX | LOCK_NB) == 0;
}

void PseudoTerminal::CloseSlave() {
    if (slave_ >= 0) {
        close(slave_);
        slave_ = -1;
    }
}

void PseudoTerminal::CloseMaster() {
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
}

termios PseudoTerminal::Attributes() const {
    termios tio{};
    tcgetattr(slave_, &tio);  // the master has settings of its own
    return tio;
}

bool PseudoTerminal::Write(std::string_view data, Millis within) {
    const Deadline deadline(within);
    while (!data.empty() && master_ >= 0) {
        const ssize_t n = ::write(master_, data.data(), data.size());
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        pollfd fd{master_, POLLOUT, 0};
        if (deadline.Passed() || poll(&fd, 1, deadline.LeftMs()) < 0) {
            return false;
        }
    }
    return data.empty();
}

bool PseudoTerminal::ReadSome(std::string& into, const Deadline& deadline) {
    if (master_ < 0) {
        return false;
    }
    pollfd fd{master_, POLLIN, 0};
    const int ready = poll(&fd, 1, deadline.LeftMs());
    if (ready <= 0) {
        return ready == 0 || errno == EINTR;
    }
    char buffer[4096];
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n > 0) {
        into.append(buffer, static_cast<std::size_t>(n));
        return true;
    }
    // EIO: no slave is open at the moment; keep waiting for the server to open it.
    if (n < 0 && (errno == EAGAIN || errno == EINTR || errno == EIO)) {
        if (errno == EIO) {
            usleep(10000);
        }
        return true;
    }
    return false;
}

}  // namespace tolvan::e2e
