#include "bench/PseudoLine.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tolvan::bench {

PseudoLine::PseudoLine() {
    std::array<char, 128> name{};
    if (::openpty(&master_, &slave_, name.data(), nullptr, nullptr) != 0) {
        throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
    }
    slavePath_ = name.data();
    termios tio{};
    ::tcgetattr(slave_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave_, TCSANOW, &tio);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
}

PseudoLine::~PseudoLine() {
    ::close(master_);
    ::close(slave_);
}

void PseudoLine::Drain() {
    std::array<char, 65536> buffer{};
    for (int i = 0; i < 1024; ++i) {
        if (::read(master_, buffer.data(), buffer.size()) <= 0) {
            break;
        }
    }
}

}  // namespace tolvan::bench
