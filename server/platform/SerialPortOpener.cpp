#include "server/platform/SerialPortOpener.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "server/bridge/SerialDevice.h"

namespace tolvan {

namespace {

[[noreturn]] void ThrowAbsent(const std::string& path, const char* why) {
    throw SerialError(kSerialInvalidPort, "serial port " + path + " " + why);
}

[[noreturn]] void ThrowUnusable(int err) {
    throw SerialError(kSerialPortOpen, std::strerror(err));
}

// A UART slot the kernel reserves without hardware behind it reports type PORT_UNKNOWN.
bool IsEmptyUartSlot(const std::string& path, int fd) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) {
        return false;
    }
    const char* name = std::strrchr(resolved, '/');
    name = name != nullptr ? name + 1 : resolved;
    if (std::strncmp(name, "ttyS", 4) != 0) {
        return false;
    }
    serial_struct info{};
    return ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN;
}

class FdCloser {
public:
    explicit FdCloser(int fd) : fd_(fd) {}
    ~FdCloser() {
        if (fd_ >= 0) {
            // The exclusive flag would outlive this descriptor on a line held open elsewhere.
            ::ioctl(fd_, TIOCNXCL);
            ::close(fd_);
        }
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;
    int Release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

}  // namespace

int SerialPortOpener::Open(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        if (!path.empty() && errno != ENOENT && errno != ENOTDIR) {
            ThrowUnusable(errno);
        }
        ThrowAbsent(path, "does not exist");
    }
    if (!S_ISCHR(st.st_mode)) {
        ThrowAbsent(path, "is not a serial device");
    }

    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT || err == ENXIO || err == ENODEV || err == EIO) {
            ThrowAbsent(path, "does not exist");
        }
        ThrowUnusable(err);
    }
    FdCloser closer(fd);

    termios tio{};
    if (!::isatty(fd) || ::tcgetattr(fd, &tio) != 0) {
        ThrowAbsent(path, "is not a serial device");
    }
    if (IsEmptyUartSlot(path, fd)) {
        ThrowAbsent(path, "does not exist");
    }
    // flock keeps out cooperating programs (and a second open by root, whom TIOCEXCL admits).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ThrowUnusable(errno == EWOULDBLOCK ? EBUSY : errno);
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        ThrowUnusable(errno);
    }
    return closer.Release();
}

}  // namespace tolvan
