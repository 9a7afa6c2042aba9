#pragma once

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "tests/platform/EventLoop.h"

namespace tolvan::test {

// A pseudo-terminal: the device under test opens the slave path, the test drives the master.
class PtyPair {
public:
    PtyPair() {
        int slave = -1;
        char name[256] = {};
        if (openpty(&master_, &slave, name, nullptr, nullptr) == 0) {
            path_ = name;
            termios tio{};
            tcgetattr(master_, &tio);
            cfmakeraw(&tio);
            tcsetattr(master_, TCSANOW, &tio);
            fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
            ::close(slave);
        }
    }
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& Path() const { return path_; }
    int Master() const { return master_; }
    void CloseMaster() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }
    // Writes what the master takes without blocking; returns the count.
    std::size_t Write(std::string_view data) const {
        const ssize_t n = ::write(master_, data.data(), data.size());
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    // Everything waiting on the master.
    std::string ReadAll() const {
        std::string out;
        char buf[65536];
        ssize_t n = 0;
        while ((n = ::read(master_, buf, sizeof buf)) > 0) {
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out;
    }

private:
    int master_ = -1;
    std::string path_;
};

}  // namespace tolvan::test
